#!/usr/bin/env python3
"""A faster start with a class-data archive: a measuring script, not a test.

    bench/fast_start.py                 build what is needed, measure every
                                        JDK 13+ under /usr/lib/jvm (about two
                                        minutes per runtime)
    bench/fast_start.py --quick         fewer rounds (a smoke run)
    bench/fast_start.py --no-build      use the native launcher already built
    bench/fast_start.py --runtime HOME  measure this runtime (repeatable)
    bench/fast_start.py --json FILE     also write every figure as JSON
    bench/fast_start.py --no-nice       do not raise the priority of the runs

The application is the JDK's own compiler, com.sun.tools.javac.Main,
compiling one small source file: a class-heavy program every JDK has (the
jdk.compiler module is in the runtime image, so no class path is needed).
It is started through the native launcher, configured as docs/fast-start.md
says, three ways:

  plain    the configuration alone;
  archive  with the archive kept between starts: on JDK 19 and later the
           lines "vmparam -XX:+AutoCreateSharedArchive" and
           "vmparam -XX:SharedArchiveFile=$HOME/.tarnwick-bench.jsa" (the
           warm-up round writes it); on JDK 13 to 18
           "vmparam -XX:SharedArchiveFile=..." after one training start with
           "-XX:ArchiveClassesAtExit=..." (a configuration of its own);
  first    the start that writes the archive (AutoCreateSharedArchive with no
           archive yet, or the training start): its archive is named after
           the launcher's process id ($HOME/first/$pid), so that every such
           start writes a new one.

The three run interleaved (each round runs each once, the order rotating);
figures are medians with their interquartile range, and the ratios within
one run are the figures to compare.  HOME points at a folder
under build/bench/fast-start for every run, so the user's own home is never
touched.
"""
import argparse
import json
import os
import shutil
import sys

import run as bench

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(bench.OUT, "fast-start")
JVM_ROOT = "/usr/lib/jvm"

ARCHIVE_NAME = ".tarnwick-bench.jsa"
FIRST_AUTOMATIC_FEATURE = 19      # -XX:+AutoCreateSharedArchive
FIRST_DYNAMIC_FEATURE = 13        # -XX:ArchiveClassesAtExit

# The file the compiler compiles: records, generics, lambdas and streams, so
# that a good part of javac runs.
SOURCE = """\
import java.util.*;
import java.util.function.*;
import java.util.stream.*;

public class Hello {
    record Point(int x, int y) implements Comparable<Point> {
        public int compareTo(Point other) { return Integer.compare(x * x + y * y, other.x * other.x + other.y * other.y); }
    }

    sealed interface Shape permits Circle, Square {}
    record Circle(Point centre, int radius) implements Shape {}
    record Square(Point corner, int side) implements Shape {}

    static double area(Shape shape) {
        if (shape instanceof Circle c) return Math.PI * c.radius() * c.radius();
        if (shape instanceof Square s) return (double) s.side() * s.side();
        throw new IllegalArgumentException(String.valueOf(shape));
    }

    public static void main(String[] args) {
        Map<Boolean, List<Point>> split = IntStream.range(0, 20)
            .mapToObj(i -> new Point(i, i * i % 7))
            .sorted()
            .collect(Collectors.partitioningBy(p -> p.x() % 2 == 0));
        Function<Point, Shape> shape = p -> p.y() > 3 ? new Circle(p, p.y()) : new Square(p, p.x());
        double total = split.values().stream().flatMap(List::stream).map(shape).mapToDouble(Hello::area).sum();
        System.out.printf("%d even, %d odd, area %.1f%n", split.get(true).size(), split.get(false).size(), total);
    }
}
"""


def release_fields(home):
    fields = {}
    try:
        with open(os.path.join(home, "release")) as f:
            for line in f:
                if "=" in line:
                    key, value = line.rstrip("\n").split("=", 1)
                    fields[key] = value.strip('"')
    except OSError:
        pass
    return fields


def feature(version):
    """17 for "17.0.15", 8 for "1.8.0_392"."""
    parts = version.split(".")
    return int(parts[1]) if parts[0] == "1" and len(parts) > 1 else int(parts[0])


def find_runtimes(chosen):
    """[(home, JAVA_VERSION)] of the JDKs to measure: those named, or every
    JDK 13+ with the compiler module under /usr/lib/jvm (links followed,
    each once)."""
    homes = chosen or [os.path.join(JVM_ROOT, n) for n in sorted(os.listdir(JVM_ROOT))]
    found, seen = [], set()
    for home in homes:
        real = os.path.realpath(home)
        fields = release_fields(real)
        if real in seen or not os.access(os.path.join(real, "bin", "java"), os.X_OK):
            continue
        if "jdk.compiler" not in fields.get("MODULES", "").split() or "JAVA_VERSION" not in fields:
            continue
        if feature(fields["JAVA_VERSION"]) < FIRST_DYNAMIC_FEATURE:
            bench.log("%s: JDK %s keeps no archive of the application; left out" % (real, fields["JAVA_VERSION"]))
            continue
        seen.add(real)
        found.append((real, fields["JAVA_VERSION"]))
    return found


def lay_out(home, version):
    """The application folder of one runtime: the launcher named Demo, the
    source, an empty lib folder and the configurations.  Returns the
    folder, the HOME for the runs, and whether the archive is automatic."""
    name = "jdk-" + version
    app = os.path.join(OUT, name)
    shutil.rmtree(app, ignore_errors=True)
    os.makedirs(os.path.join(app, "lib"))
    os.makedirs(os.path.join(app, "out"))
    user_home = os.path.join(app, "home")
    os.makedirs(user_home)
    shutil.copyfile(bench.NATIVE_LAUNCHER, os.path.join(app, "Demo"))
    os.chmod(os.path.join(app, "Demo"), 0o755)
    bench.write_text(os.path.join(app, "Hello.java"), SOURCE)
    plain = ["javapath " + os.path.join(home, "bin", "java"), "addjars lib",
             "mainclass com.sun.tools.javac.Main", "argument -d", "argument out", "argument Hello.java"]
    os.makedirs(os.path.join(user_home, "first"))
    archive_file = "vmparam -XX:SharedArchiveFile=$HOME/" + ARCHIVE_NAME
    automatic = feature(version) >= FIRST_AUTOMATIC_FEATURE
    configs = {"plain.config": plain}
    if automatic:
        auto = ["include plain.config", "vmparam -XX:+AutoCreateSharedArchive"]
        configs["archive.config"] = auto + [archive_file]
        configs["first.config"] = auto + ["vmparam -XX:SharedArchiveFile=$HOME/first/$pid"]
    else:
        configs["archive.config"] = ["include plain.config", archive_file]
        configs["train.config"] = ["include plain.config",
                                   "vmparam -XX:ArchiveClassesAtExit=$HOME/" + ARCHIVE_NAME]
        configs["first.config"] = ["include plain.config", "vmparam -XX:ArchiveClassesAtExit=$HOME/first/$pid"]
    for file_name, lines in configs.items():
        bench.write_text(os.path.join(app, file_name), "".join(line + "\n" for line in lines))
    return app, user_home, automatic


def bench_runtime(home, version, rounds):
    app, user_home, automatic = lay_out(home, version)
    env = dict(os.environ, HOME=user_home)
    launcher = os.path.join(app, "Demo")
    archive = os.path.join(user_home, ARCHIVE_NAME)
    firsts = os.path.join(user_home, "first")
    plain = [launcher, "-cplain.config", bench.PASS_EXIT_CODE]
    kept = [launcher, "-carchive.config", bench.PASS_EXIT_CODE]
    first = [launcher, "-cfirst.config", bench.PASS_EXIT_CODE]
    cwd = os.getcwd()
    os.chdir(app)
    try:
        if not automatic:
            bench.log("JDK %s: the training start..." % version)
            bench.spawn_times([[launcher, "-ctrain.config", bench.PASS_EXIT_CODE]], 1, 0, env=env)
        bench.log("JDK %s: plain, with the archive and writing it, %d rounds..." % (version, rounds))
        wall, cpu = bench.spawn_times([plain, kept, first], rounds, max(2, rounds // 10), env=env)
    finally:
        os.chdir(cwd)
    written = os.listdir(firsts)
    if not os.path.isfile(archive) or len(written) != rounds + max(2, rounds // 10):
        raise RuntimeError("JDK %s: the archive was not written at every start that should have" % version)
    sizes = [os.path.getsize(os.path.join(firsts, name)) for name in written]
    shutil.rmtree(firsts)
    r = {"java_home": home, "version": version, "automatic": automatic,
         "archive_bytes": os.path.getsize(archive), "first_archive_bytes": bench.summary(sizes),
         "plain": bench.summary(wall[0]), "archive": bench.summary(wall[1]), "first": bench.summary(wall[2]),
         "cpu_plain": bench.summary(cpu[0]), "cpu_archive": bench.summary(cpu[1]),
         "cpu_first": bench.summary(cpu[2]),
         "saving": bench.paired_difference(wall[0], wall[1]),
         "first_cost": bench.paired_difference(wall[2], wall[0])}
    r["ratio"] = r["archive"]["median"] / r["plain"]["median"]
    r["cpu_ratio"] = r["cpu_archive"]["median"] / r["cpu_plain"]["median"]
    r["first_ratio"] = r["first"]["median"] / r["plain"]["median"]
    return r


def report(res):
    m = res["machine"]
    lines = ["tarnwick fast start (class-data archive), %s" % m["date"],
             "machine: %s x %s, %s, %s, %s" % (m["nproc"], m["cpu"], m.get("memory", "?"), m["kernel"], m["os"]),
             "load average: %s at the start, %s at the end; priority of the runs: %s" % (
                 res["load_start"], res["load_end"], res["priority"]),
             "application: com.sun.tools.javac.Main compiling Hello.java, started through the native launcher",
             ""]
    for r in res["runtimes"]:
        kind = "AutoCreateSharedArchive" if r["automatic"] else "ArchiveClassesAtExit once, then SharedArchiveFile"
        lines += ["JDK %s (%s), %s; archive %.1f MiB" % (r["version"], r["java_home"], kind,
                                                          r["archive_bytes"] / bench.MIB),
                  "  RATIO with the archive / plain: %.2f wall (saves %.0f ms a start), %.2f CPU" % (
                      r["ratio"], r["saving"]["median"], r["cpu_ratio"]),
                  "  RATIO first start (writes the archive) / plain: %.2f (costs %.0f ms once)" % (
                      r["first_ratio"], r["first_cost"]["median"]),
                  "  plain                 %s, CPU %.0f ms" % (bench.fmt_ms(r["plain"], 1), r["cpu_plain"]["median"]),
                  "  with the archive      %s, CPU %.0f ms" % (bench.fmt_ms(r["archive"], 1),
                                                             r["cpu_archive"]["median"]),
                  "  first start           %s, CPU %.0f ms" % (bench.fmt_ms(r["first"], 1),
                                                          r["cpu_first"]["median"]),
                  "  rounds: %d" % r["plain"]["n"],
                  ""]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer rounds")
    parser.add_argument("--no-build", action="store_true", help="use the native launcher already built")
    parser.add_argument("--runtime", action="append", metavar="HOME", help="a JDK to measure (repeatable)")
    parser.add_argument("--json", metavar="FILE", help="also write every figure as JSON")
    parser.add_argument("--no-nice", action="store_true", help="do not raise the priority of the runs")
    args = parser.parse_args()

    runtimes = find_runtimes(args.runtime)
    if not runtimes:
        bench.log("no JDK 13 or later with the jdk.compiler module found")
        return 1
    if not args.no_build:
        bench.build(False)
    bench.build_helpers(False)
    priority = bench.raise_priority() if not args.no_nice else "normal"

    rounds = 6 if args.quick else 30
    res = {"machine": bench.machine(), "load_start": bench.load_average(), "priority": priority,
           "runtimes": [bench_runtime(home, version, rounds) for home, version in runtimes]}
    res["load_end"] = bench.load_average()
    print(report(res))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(res, f, indent=1, default=str)
    return 0


if __name__ == "__main__":
    sys.exit(main())
