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
 *
 * and then exits with N when one of its arguments is --exit=N (else 0).
 *
 * Three more arguments let the tests see how it is started and ended:
 *
 *   --hook=FILE            a shutdown hook writes "hook ran" to FILE
 *   --relaunch-once=FILE   when FILE does not exist, creates it and exits
 *                          with 999, the relaunch request
 *   --wait                 prints "demo waiting pid=<process id>" and waits
 *                          until the JVM is ended from outside
 */
import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;

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

    public static void main(String[] args) throws IOException, InterruptedException {
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
        if (valueOf(args, "--wait") != null) {
            String pid = ManagementFactory.getRuntimeMXBean().getName().split("@")[0];
            System.out.println("demo waiting pid=" + pid);
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
