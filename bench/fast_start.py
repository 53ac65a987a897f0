#!/usr/bin/env python3
"""The fast start ("fastStart on"): a measuring script, not a test.

    bench/fast_start.py                 build what is needed, measure every
                                        runtime of this machine that keeps an
                                        archive of the application (about ten
                                        minutes per runtime)
    bench/fast_start.py --quick         fewer rounds (a smoke run)
    bench/fast_start.py --no-build      use the native launcher already built
    bench/fast_start.py --runtime HOME  measure this runtime (repeatable)
    bench/fast_start.py --no-stand-in   leave out the stand-in of Java 21
    bench/fast_start.py --json FILE     also write every figure as JSON
    bench/fast_start.py --no-nice       do not raise the priority of the runs

Class-heavy applications, each started through the native launcher:

  javac    the JDK's own compiler, com.sun.tools.javac.Main, compiling one
           small source file (the jdk.compiler module is in the runtime
           image; the class path is an empty lib folder), its arguments in
           the configuration;
  javac-tool  the same compiler as a command-line tool ("toolMode on"), its
           arguments ("-d out Hello.java") on the command line;
  xml      an application in a jar (lib/xmlapp.jar, compiled here) that
           parses an XML document, queries it with XPath and transforms it
           with XSLT: the runtime's XML stack, thousands of classes;
  modular  the same application as a module (mods/xmlapp.jar, "module
           benchxml"), laid out as docs/shipping.md ships a modular
           application: --module-path=mods and -m benchxml/bench.XmlApp.

Each runs three ways, each through a launcher of its own with its own
configuration:

  plain  without the line;
  fast   with "fastStart on", the archive made before the timed rounds;
  first  with "fastStart on" and a cache folder of its own for every start
         (setenv XDG_CACHE_HOME=...$pid), so every such start is a training
         start: it runs the application, hands the making of the archive to
         a process of its own and ends.

plain and fast run interleaved in one group of rounds (spawn_timer), plain
and first in a second, smaller one, also interleaved, in which every start
waits, untimed, until no archive is being made (so that no making runs
beside a timed start); figures are medians with their interquartile range,
and the ratios within one run are the figures to compare.  The Java 25
ahead-of-time cache is measured on each JDK 25+; the dynamic archive of Java
19 to 24 on each such JDK, and, unless --no-stand-in, on a stand-in: a home
whose release file says 21 and whose bin/java runs the Java 25 of this
machine, so the launcher keeps the dynamic archive for it.  HOME and
XDG_CACHE_HOME point into build/bench, so the user's own cache is never
touched.

The fingerprint's own cost is timed in process (fingerprint_bench.cpp) over
the jars of Ant's lib folder (/usr/share/ant/lib, with Debian's ant and
ant-optional) and of /usr/share/java.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time
import zipfile

import run as bench

OUT = os.path.join(bench.OUT, "fast-start")
JVM_ROOT = "/usr/lib/jvm"

FIRST_DYNAMIC_FEATURE = 19        # the launcher keeps the dynamic archive
FIRST_AHEAD_OF_TIME_FEATURE = 25  # the launcher keeps the ahead-of-time cache
STAND_IN_VERSION = "21.0.0"

# What the compiler compiles: records, generics, lambdas and streams, so that
# a good part of javac runs.
JAVAC_SOURCE = """\
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

# The XML application: DOM, XPath and XSLT of the runtime.
XML_SOURCE = """\
package bench;

import java.io.*;
import javax.xml.parsers.*;
import javax.xml.transform.*;
import javax.xml.transform.dom.*;
import javax.xml.transform.stream.*;
import javax.xml.xpath.*;
import org.w3c.dom.*;

public class XmlApp {
    public static void main(String[] args) throws Exception {
        StringBuilder xml = new StringBuilder("<orders>");
        for (int i = 0; i < 200; i++)
            xml.append("<order id='").append(i).append("'><item price='").append(i % 17 + 0.5)
               .append("'>thing ").append(i).append("</item></order>");
        xml.append("</orders>");
        Document doc = DocumentBuilderFactory.newInstance().newDocumentBuilder()
            .parse(new ByteArrayInputStream(xml.toString().getBytes("UTF-8")));
        double total = (Double) XPathFactory.newInstance().newXPath()
            .evaluate("sum(//item/@price)", doc, XPathConstants.NUMBER);
        String xsl = "<xsl:stylesheet version='1.0' xmlns:xsl='http://www.w3.org/1999/XSL/Transform'>"
            + "<xsl:template match='/'><html><body><xsl:for-each select='//order[position() &lt; 5]'>"
            + "<p><xsl:value-of select='item'/></p></xsl:for-each></body></html></xsl:template></xsl:stylesheet>";
        Transformer t = TransformerFactory.newInstance().newTransformer(new StreamSource(new StringReader(xsl)));
        StringWriter out = new StringWriter();
        t.transform(new DOMSource(doc), new StreamResult(out));
        System.out.println("total " + total + ", " + out.toString().length() + " characters of HTML");
    }
}
"""

# The configuration lines of each application, its arguments on the command
# line, and whether it is a tool ("toolMode on", which only the
# configuration named after the launcher turns on).
APPLICATIONS = {
    "javac": (["mainclass com.sun.tools.javac.Main", "argument -d", "argument out", "argument Hello.java"],
              [], False),
    "javac-tool": (["mainclass com.sun.tools.javac.Main"], ["-d", "out", "Hello.java"], True),
    "xml": (["mainclass bench.XmlApp"], [], False),
    "modular": (["vmparam --module-path=mods", "mainclass -m benchxml/bench.XmlApp"], [], False),
}

# The module of the XML application, so that one jar serves the class path
# and the module path.
XML_MODULE = "module benchxml { requires java.xml; }\n"

# Fingerprint timings: rounds, and where Ant's jars are.
FINGERPRINT_ROUNDS = 200
ANT_LIB = "/usr/share/ant/lib"
SHARED_JARS = "/usr/share/java"

# The longest a making of an archive is waited for between two timed starts.
MAKING_PATIENCE_SECONDS = 300


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
    """17 for "17.0.15", 1 for "1.8.0_392" (as the launcher reads it)."""
    digits = ""
    for c in version:
        if not c.isdigit():
            break
        digits += c
    return int(digits or 0)


def find_runtimes(chosen):
    """[(home, JAVA_VERSION)] of the JDKs to measure: those named, or every
    JDK under /usr/lib/jvm with the compiler module (links followed, each
    once) that keeps an archive of the application."""
    homes = chosen or [os.path.join(JVM_ROOT, n) for n in sorted(os.listdir(JVM_ROOT))]
    found, seen = [], set()
    for home in homes:
        real = os.path.realpath(home)
        fields = release_fields(real)
        if real in seen or not os.access(os.path.join(real, "bin", "java"), os.X_OK):
            continue
        seen.add(real)
        if "jdk.compiler" not in fields.get("MODULES", "").split() or "JAVA_VERSION" not in fields:
            continue
        if feature(fields["JAVA_VERSION"]) < FIRST_DYNAMIC_FEATURE:
            bench.log("%s: Java %s keeps no archive of the application by itself; left out"
                      % (real, fields["JAVA_VERSION"]))
            continue
        found.append((real, fields["JAVA_VERSION"]))
    return found


def stand_in(real_home):
    """A home whose release file says 21 and whose bin/java runs real_home's
    java (a script, so that the launcher reads this home's release file)."""
    home = os.path.join(OUT, "stand-in-21")
    shutil.rmtree(home, ignore_errors=True)
    os.makedirs(os.path.join(home, "bin"))
    bench.write_text(os.path.join(home, "release"), 'JAVA_VERSION="%s"\n' % STAND_IN_VERSION)
    java = os.path.join(home, "bin", "java")
    bench.write_text(java, '#!/bin/sh\nexec "%s" "$@"\n' % os.path.join(real_home, "bin", "java"))
    os.chmod(java, 0o755)
    return home


def compile_xml_app(javac_home):
    """xmlapp.jar, the module benchxml, compiled for Java 17 by the first
    runtime measured."""
    source_dir = os.path.join(OUT, "xml-source")
    classes = os.path.join(OUT, "xml-classes")
    shutil.rmtree(classes, ignore_errors=True)
    os.makedirs(os.path.join(source_dir, "bench"), exist_ok=True)
    os.makedirs(classes)
    source = os.path.join(source_dir, "bench", "XmlApp.java")
    bench.write_text(source, XML_SOURCE)
    bench.write_text(os.path.join(source_dir, "module-info.java"), XML_MODULE)
    bench.run([os.path.join(javac_home, "bin", "javac"), "--release", "17", "-d", classes,
               os.path.join(source_dir, "module-info.java"), source])
    jar = os.path.join(OUT, "xmlapp.jar")
    with zipfile.ZipFile(jar, "w") as out:
        for root, _dirs, files in os.walk(classes):
            for name in files:
                path = os.path.join(root, name)
                out.write(path, os.path.relpath(path, classes))
    return jar


def lay_out(name, java, app, jar):
    """The application folder: lib/, mods/, and the launchers plain, fast and
    first, each with its configuration.  Returns the folder and HOME."""
    folder = os.path.join(OUT, name)
    shutil.rmtree(folder, ignore_errors=True)
    for sub in ("lib", "mods", "out"):
        os.makedirs(os.path.join(folder, sub))
    home = os.path.join(folder, "home")
    os.makedirs(os.path.join(home, "first"))
    bench.write_text(os.path.join(folder, "Hello.java"), JAVAC_SOURCE)
    shutil.copyfile(jar, os.path.join(folder, "mods" if app == "modular" else "lib", "xmlapp.jar"))
    lines, _args, tool = APPLICATIONS[app]
    bench.write_text(os.path.join(folder, "app.config"),
                     "".join(line + "\n" for line in ["javapath " + java, "addjars lib"] + lines))
    own = (["toolMode on"] if tool else []) + ["include app.config"]
    for launcher, more in (("plain", []), ("fast", ["fastStart on"]),
                           ("first", ["setenv XDG_CACHE_HOME=$HOME/first/$pid", "fastStart on"])):
        bench.make_app(folder, launcher, own + more)
    return folder, home


def command(folder, launcher, app):
    """The command line of a start: a tool takes its arguments (and passes
    its exit code on by itself)."""
    _lines, args, tool = APPLICATIONS[app]
    return [os.path.join(folder, launcher)] + ([] if tool else [bench.PASS_EXIT_CODE]) + args


def making(home):
    """True while an archive is being made under home."""
    for root, _dirs, files in os.walk(home):
        if any(name.endswith(".making") for name in files):
            return True
    return False


def settle(home):
    """Waits, untimed, until no archive is being made under home."""
    deadline = time.monotonic() + MAKING_PATIENCE_SECONDS
    while making(home):
        if time.monotonic() > deadline:
            raise RuntimeError("an archive under %s is still being made after %d s"
                               % (home, MAKING_PATIENCE_SECONDS))
        time.sleep(0.05)


def settled_times(commands, rounds, warmup, home, env):
    """Like bench.spawn_times (interleaved, the order rotating from round to
    round), but every start begins once no archive is being made under home:
    a first start's making runs beside no timed start.  Wall and CPU times
    in ms, per command."""
    wall = [[] for _ in commands]
    cpu = [[] for _ in commands]
    for round_ in range(-warmup, rounds):
        for k in range(len(commands)):
            index = (round_ + warmup + k) % len(commands)
            settle(home)
            with open(os.devnull, "wb") as null:
                begin = time.monotonic()
                process = subprocess.Popen(commands[index], env=env, stdin=subprocess.DEVNULL, stdout=null,
                                           stderr=null)
                _pid, status, usage = os.wait4(process.pid, 0)
                elapsed = time.monotonic() - begin
            if status != 0:
                raise RuntimeError("%s ended with wait status %d" % (" ".join(commands[index]), status))
            if round_ >= 0:
                wall[index].append(elapsed * 1000)
                cpu[index].append((usage.ru_utime + usage.ru_stime) * 1000)
    settle(home)
    return wall, cpu


def archives(folder):
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def bench_case(label, java, app, jar, rounds, first_rounds):
    name = "%s-%s" % (label, app)
    folder, home = lay_out(name, java, app, jar)
    env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, "cache"))
    for variable in ("JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS", "_JAVA_OPTIONS", "TARNWICK_OPTIONS"):
        env.pop(variable, None)
    plain, fast, first = (command(folder, launcher, app) for launcher in ("plain", "fast", "first"))
    cwd = os.getcwd()
    os.chdir(folder)
    try:
        # The archive of the fast starts, made before any timed round.
        subprocess.run(fast, env=env, capture_output=True, timeout=600)
        settle(home)
        warmup = max(2, rounds // 10)
        bench.log("%s: plain and with the archive, %d rounds..." % (name, rounds))
        wall, cpu = bench.spawn_times([plain, fast], rounds, warmup, env=env)
        # The fast runs must have used the archive, not trained.
        tool = APPLICATIONS[app][2]
        check = subprocess.run(fast if tool else fast[:1] + ["-d"] + fast[1:],
                               env=dict(env, TARNWICK_OPTIONS="-d") if tool else env, capture_output=True,
                               text=True, timeout=300)
        used = [line for line in check.stderr.split("\n") if line.startswith("Fast start: ")
                and not line.startswith("Fast start: removing")]
        if len(used) != 1 or "training" in used[0] or "not used" in used[0]:
            raise RuntimeError("%s: the fast start did not use its archive: %r" % (name, used))
        bench.log("%s: plain and first starts, %d rounds..." % (name, first_rounds))
        first_wall, first_cpu = settled_times([plain, first], first_rounds, 1, home, env)
    finally:
        os.chdir(cwd)
    cache = os.path.join(home, "cache", "tarnwick", "cds")
    made = [[n for n in archives(os.path.join(home, "first", pid, "tarnwick", "cds")) if n.endswith((".aot", ".jsa"))]
            for pid in os.listdir(os.path.join(home, "first"))]
    if len(made) != first_rounds + 1 or any(len(files) != 1 for files in made):
        raise RuntimeError("%s: not every first start made its archive: %r" % (name, made))
    kept = [n for n in archives(cache) if n.endswith((".aot", ".jsa"))]
    r = {"name": name, "java": java, "app": app, "archive": kept, "archive_bytes": os.path.getsize(
        os.path.join(cache, kept[0])), "debug_line": used[0],
         "plain": bench.summary(wall[0]), "fast": bench.summary(wall[1]),
         "cpu_plain": bench.summary(cpu[0]), "cpu_fast": bench.summary(cpu[1]),
         "saving": bench.paired_difference(wall[0], wall[1]),
         "first_plain": bench.summary(first_wall[0]), "first": bench.summary(first_wall[1]),
         "cpu_first_plain": bench.summary(first_cpu[0]), "cpu_first": bench.summary(first_cpu[1]),
         "first_cost": bench.paired_difference(first_wall[1], first_wall[0])}
    r["ratio"] = r["fast"]["median"] / r["plain"]["median"]
    r["cpu_ratio"] = r["cpu_fast"]["median"] / r["cpu_plain"]["median"]
    r["first_ratio"] = r["first"]["median"] / r["first_plain"]["median"]
    r["cpu_first_ratio"] = r["cpu_first"]["median"] / r["cpu_first_plain"]["median"]
    shutil.rmtree(os.path.join(home, "first"), ignore_errors=True)
    return r


def fingerprint_costs(home, version):
    """The fingerprint's own cost over the jars of each folder that has some:
    [{folder, jars, directory_bytes, ns: summary}]."""
    helper = os.path.join(OUT, "fingerprint_bench")
    bench.build_in_process_bench("fingerprint_bench", helper, ['-DTARNWICK_VERSION="bench"'])
    costs = []
    for folder in (ANT_LIB, SHARED_JARS):
        jars = [n for n in os.listdir(folder) if n.lower().endswith(".jar")] if os.path.isdir(folder) else []
        if not jars:
            continue
        directory_bytes = 0
        for name in jars:
            try:
                with zipfile.ZipFile(os.path.join(folder, name)) as z:
                    directory_bytes += sum(46 + len(i.filename.encode()) + len(i.extra) + len(i.comment)
                                           for i in z.infolist())
            except (OSError, zipfile.BadZipFile):
                pass
        out = bench.run([helper, str(FINGERPRINT_ROUNDS), "10", home, version, folder])
        ns = [int(line.split()[0]) for line in out.split("\n") if line.strip()]
        costs.append({"folder": folder, "jars": len(jars), "directory_bytes": directory_bytes,
                      "ms": bench.summary([n / 1e6 for n in ns])})
    return costs


def report(res):
    m = res["machine"]
    lines = ["tarnwick fast start (fastStart on), %s" % m["date"],
             "machine: %s x %s, %s, %s, %s" % (m["nproc"], m["cpu"], m.get("memory", "?"), m["kernel"], m["os"]),
             "load average: %s at the start, %s at the end; priority of the runs: %s" % (
                 res["load_start"], res["load_end"], res["priority"]),
             ""]
    for c in res.get("fingerprint", []):
        lines += ["fingerprint of %s: %d jars, %.0f KiB of central directories: %s per fingerprint"
                  % (c["folder"], c["jars"], c["directory_bytes"] / 1024, bench.fmt_ms(c["ms"], 2))]
    lines += [""]
    for r in res["cases"]:
        lines += ["%s (%s): %s, archive %.1f MiB" % (r["name"], r["java"], r["debug_line"],
                                                     r["archive_bytes"] / bench.MIB),
                  "  RATIO with the line / without, wall: %.2f (saves %.0f ms a start); CPU: %.2f" % (
                      r["ratio"], r["saving"]["median"], r["cpu_ratio"]),
                  "  RATIO first start (trains, hands the making on) / without: %.2f wall (costs %.0f ms once),"
                  " %.2f CPU" % (r["first_ratio"], r["first_cost"]["median"], r["cpu_first_ratio"]),
                  "  without the line  %s, CPU %.0f ms" % (bench.fmt_ms(r["plain"], 1), r["cpu_plain"]["median"]),
                  "  with the line     %s, CPU %.0f ms" % (bench.fmt_ms(r["fast"], 1), r["cpu_fast"]["median"]),
                  "  first start       %s, CPU %.0f ms (without the line in the same rounds: %s)" % (
                      bench.fmt_ms(r["first"], 1), r["cpu_first"]["median"], bench.fmt_ms(r["first_plain"], 1)),
                  "  rounds: %d and %d" % (r["plain"]["n"], r["first"]["n"]),
                  ""]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer rounds")
    parser.add_argument("--no-build", action="store_true", help="use the native launcher already built")
    parser.add_argument("--runtime", action="append", metavar="HOME", help="a JDK to measure (repeatable)")
    parser.add_argument("--no-stand-in", action="store_true", help="leave out the stand-in of Java 21")
    parser.add_argument("--json", metavar="FILE", help="also write every figure as JSON")
    parser.add_argument("--no-nice", action="store_true", help="do not raise the priority of the runs")
    args = parser.parse_args()

    runtimes = find_runtimes(args.runtime)
    if not runtimes:
        bench.log("no JDK 19 or later with the jdk.compiler module found")
        return 1
    if not args.no_build:
        bench.build(False)
    bench.build_native_helper("spawn_timer")
    os.makedirs(OUT, exist_ok=True)
    priority = bench.raise_priority() if not args.no_nice else "normal"
    jar = compile_xml_app(runtimes[0][0])

    fingerprint = fingerprint_costs(runtimes[0][0], runtimes[0][1])

    runs = []  # (label, java)
    for home, version in runtimes:
        runs.append(("jdk-" + version, os.path.join(home, "bin", "java")))
    newest = [home for home, version in runtimes if feature(version) >= FIRST_AHEAD_OF_TIME_FEATURE]
    if newest and not args.no_stand_in:
        runs.append(("stand-in-21", os.path.join(stand_in(newest[0]), "bin", "java")))

    rounds, first_rounds = (6, 2) if args.quick else (30, 8)
    res = {"machine": bench.machine(), "load_start": bench.load_average(), "priority": priority,
           "fingerprint": fingerprint,
           "cases": [bench_case(label, java, app, jar, rounds, first_rounds)
                     for label, java in runs for app in APPLICATIONS]}
    res["load_end"] = bench.load_average()
    bench.publish(report(res), res, args.json)
    return 0


if __name__ == "__main__":
    sys.exit(main())
