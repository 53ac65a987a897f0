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
 */
public final class Demo {
    private Demo() {
    }

    public static void main(String[] args) {
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
