/*
 * The demo application that tarnwick starts in its examples and end-to-end
 * tests.  Main class: Demo (no package).
 *
 * It prints, one item a line, with each value between < and > so that blanks,
 * quotes and empty texts can be seen exactly:
 *
 *   demo args=<count>
 *   arg[0]=<first argument>
 *   ...
 *   property demo.greeting=<value>      (or "property demo.greeting unset")
 *   user.dir=<working directory>
 *   java.home=<runtime home>
 *   env NAME=<value>                    (or "env NAME unset"), for each
 *                                       argument --env=NAME
 *
 * and then exits with N when one of its arguments is --exit=N (else 0).
 *
 * Four more arguments let the tests see how it is started and ended:
 *
 *   --hook=FILE            a shutdown hook writes "hook ran" to FILE
 *   --relaunch-once=FILE   when FILE does not exist, creates it and exits
 *                          with 999, the relaunch request
 *   --relaunch-on-hup=FILE when FILE does not exist, creates it, prints
 *                          "demo waiting for HUP pid=<process id>", handles
 *                          SIGHUP (printing "demo got HUP") and then exits
 *                          with 999
 *   --wait                 prints "demo waiting pid=<process id>" and waits
 *                          until the JVM is ended from outside
 */
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.lang.reflect.Proxy;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;

public final class Demo {
    private Demo() {
    }

    /** The text after prefix of the first argument that starts with it, or null. */
    private static String valueOf(String[] args, String prefix) {
        for (String arg : args) {
            if (arg.startsWith(prefix)) {
                return arg.substring(prefix.length());
            }
        }
        return null;
    }

    /** This JVM's process id. */
    private static String pid() {
        return ManagementFactory.getRuntimeMXBean().getName().split("@")[0];
    }

    /**
     * Handles SIGHUP as an application that reopens its logs does, and runs
     * on until the first one came.  sun.misc.Signal is reached by reflection,
     * so the class still compiles for Java 8 against any JDK.
     */
    private static void awaitHangUp() throws ReflectiveOperationException, InterruptedException {
        final CountDownLatch hangUp = new CountDownLatch(1);
        Class<?> signalClass = Class.forName("sun.misc.Signal");
        Class<?> handlerClass = Class.forName("sun.misc.SignalHandler");
        Object handler = Proxy.newProxyInstance(handlerClass.getClassLoader(), new Class<?>[] {handlerClass},
            (proxy, method, arguments) -> {
                switch (method.getName()) {
                    case "handle":
                        System.out.println("demo got HUP");
                        System.out.flush();
                        hangUp.countDown();
                        return null;
                    case "hashCode":
                        return System.identityHashCode(proxy);
                    case "equals":
                        return proxy == arguments[0];
                    default:
                        return "demo HUP handler";
                }
            });
        Object hup = signalClass.getConstructor(String.class).newInstance("HUP");
        signalClass.getMethod("handle", signalClass, handlerClass).invoke(null, hup, handler);
        System.out.println("demo waiting for HUP pid=" + pid());
        System.out.flush();
        hangUp.await();
    }

    public static void main(String[] args) throws IOException, InterruptedException, ReflectiveOperationException {
        StringBuilder out = new StringBuilder();
        out.append("demo args=").append(args.length).append('\n');
        for (int i = 0; i < args.length; i++) {
            out.append("arg[").append(i).append("]=<").append(args[i]).append(">\n");
        }
        String greeting = System.getProperty("demo.greeting");
        if (greeting == null) {
            out.append("property demo.greeting unset\n");
        } else {
            out.append("property demo.greeting=<").append(greeting).append(">\n");
        }
        out.append("user.dir=<").append(System.getProperty("user.dir")).append(">\n");
        out.append("java.home=<").append(System.getProperty("java.home")).append(">\n");
        for (String arg : args) {
            if (arg.startsWith("--env=")) {
                String name = arg.substring("--env=".length());
                String value = System.getenv(name);
                out.append("env ").append(name).append(value == null ? " unset" : "=<" + value + ">").append('\n');
            }
        }
        System.out.print(out);
        System.out.flush();

        String hookFile = valueOf(args, "--hook=");
        if (hookFile != null) {
            final Path marker = Paths.get(hookFile);
            Runtime.getRuntime().addShutdownHook(new Thread(() -> {
                try {
                    Files.write(marker, "hook ran\n".getBytes(StandardCharsets.UTF_8));
                } catch (IOException e) {
                    System.err.println("demo: the hook cannot write " + marker + ": " + e);
                }
            }));
        }
        String onceFile = valueOf(args, "--relaunch-once=");
        if (onceFile != null && !Files.exists(Paths.get(onceFile))) {
            Files.createFile(Paths.get(onceFile));
            System.exit(999);
        }
        String hupFile = valueOf(args, "--relaunch-on-hup=");
        if (hupFile != null && !Files.exists(Paths.get(hupFile))) {
            Files.createFile(Paths.get(hupFile));
            awaitHangUp();
            System.exit(999);
        }
        if (valueOf(args, "--wait") != null) {
            System.out.println("demo waiting pid=" + pid());
            System.out.flush();
            Thread.sleep(Long.MAX_VALUE);
        }

        int exitCode = 0;
        for (String arg : args) {
            if (arg.startsWith("--exit=")) {
                try {
                    exitCode = Integer.parseInt(arg.substring("--exit=".length()));
                } catch (NumberFormatException e) {
                    System.err.println("demo: not a number in " + arg);
                    exitCode = 1;
                }
            }
        }
        System.exit(exitCode);
    }
}
