#!/usr/bin/env python3
"""Benchmarks of the tarnwick launcher: a measuring script, not a test.

    bench/run.py                 build what is needed, run everything, print
                                 the summary (one to two minutes)
    bench/run.py --quick         fewer rounds (a smoke run, figures rougher)
    bench/run.py --no-build      use the launchers already built
    bench/run.py --no-wine       leave out the Windows executable under Wine
    bench/run.py --json FILE     also write every figure as JSON
    bench/run.py --wine-exe LABEL=PATH
                                 also time that tarnwick.exe under Wine, in
                                 the same rounds (repeatable)
    bench/run.py --no-nice       do not raise the priority of the measured runs
                                 (by default, as root, they run at nice -10)

What it measures, side by side in one run (ratios first):

  1. Launch overhead on Linux: the native launcher starting a trivial child
     (configured with "javapath" to a program that ends at once) against
     that child started directly, and the same with a real `java -version`.
     The smallest possible launcher (bench/min_launcher.c: posix_spawn and
     wait, nothing else) runs in the same rounds as the floor that one extra
     process costs on this machine.
  2. The same pair under Wine for tarnwick.exe, timed from a Windows timer
     program so that Wine's start-up of the timer is paid once, with its
     overhead against the floor's (min_launcher.exe); the floor again with
     one step of a real start added each (the import of user32.dll, the
     wait for the child's window, shell32.dll, the job object), which tells
     what each step costs; and any other tarnwick.exe given with
     --wine-exe (an earlier build, say) in the same rounds.
  3. The configuration reader as the configuration grows (100, 1,000 and
     10,000 lines with includes and expansions): in process over the real
     files and the real POSIX platform (time and, with valgrind, the
     instruction count), and end to end through the native launcher.
  4. The stripped Windows executable: its size, its DLL imports and what
     makes it big (from a linker map of the same objects); the peak memory
     (VmHWM) of the native launcher while its child runs.

Machines are noisy, so: every pair runs interleaved (each round runs every
command once, in an order that rotates), figures are medians with their
interquartile range, and overheads are medians of the per-round differences.
No figure here is a pass/fail test; the targets are printed beside them.

Everything is built into build/bench; the Wine prefix is build/bench/wine-prefix
(created on first use, about 15 s) with a wineserver that ends by itself a
minute after the run.
"""
import argparse
import datetime
import json
import os
import platform as pyplatform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUILD = os.path.join(ROOT, "build")
OUT = os.path.join(BUILD, "bench")
NATIVE_LAUNCHER = os.path.join(BUILD, "native", "tarnwick")
WINDOWS_EXE = os.path.join(BUILD, "windows", "tarnwick.exe")

KIB = 1024
MIB = 1024 * 1024

# Targets of the benchmarks.
TARGET_OVERHEAD_MS = 1.0            # launcher over the direct start of a trivial child
TARGET_WINE_FLOOR_FACTOR = 1.3      # launcher's overhead under Wine / the floor's
TARGET_JAVA_FRACTION = 0.02         # launcher overhead as a fraction of `java -version`
TARGET_CONFIG_10K_MS = 10.0         # reading 10,000 configuration lines
TARGET_LINEAR_SLACK = 1.5           # per-line cost at 10,000 lines / at 1,000 lines
TARGET_EXE_BYTES = 128 * KIB
TARGET_PEAK_BYTES = 4 * MIB
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}

# The floor under Wine with one step of a real start added each (see
# bench/min_launcher.c): a name, the build's definitions, what it adds.
FLOOR_STEPS = (
    ("user32", ["-DWITH_USER32_IMPORT"], "+ user32.dll imported"),
    ("input_idle", ["-DWITH_USER32_IMPORT", "-DWITH_INPUT_IDLE"],
     "+ user32.dll imported, WaitForInputIdle"),
    ("shell32", ["-DWITH_SHELL32"], "+ shell32.dll loaded"),
    ("advapi32", ["-DWITH_ADVAPI32_IMPORT"], "+ advapi32.dll imported"),
    ("job", ["-DWITH_JOB"], "+ started suspended in a kill-on-close job"),
)

CONFIG_SIZES = (100, 1000, 10000)
LINES_PER_PART = 100                # lines per included file
VARIABLE_POOL = 16                  # distinct names the generated setenv lines use

# Every launcher run passes its child's exit code on, so that a child that
# could not be started shows as a failed run instead of a fast one.
PASS_EXIT_CODE = "-passExitCode"

QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------------------
# Small helpers


def log(text):
    print(text, file=sys.stderr, flush=True)


def run(cmd, **kw):
    """Runs cmd, raising with its output when it fails."""
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kw)
    if proc.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s" % (" ".join(cmd), proc.returncode,
                                                   proc.stdout.decode(errors="replace")))
    return proc.stdout.decode(errors="replace")


def first_line(cmd, pattern=None):
    """The first line of cmd's output (the first matching pattern, if given)."""
    try:
        out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             stdin=subprocess.DEVNULL, timeout=60).stdout.decode(errors="replace")
    except (OSError, subprocess.TimeoutExpired):
        return "not available"
    lines = [l.strip() for l in out.splitlines() if l.strip()]
    if pattern:
        lines = [l for l in lines if re.search(pattern, l)]
    return lines[0] if lines else "not available"


def quartiles(values):
    """(q1, median, q3) of values."""
    if len(values) == 1:
        return values[0], values[0], values[0]
    q1, q2, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return q1, q2, q3


def summary(values):
    q1, med, q3 = quartiles(values)
    return {"median": med, "q1": q1, "q3": q3, "n": len(values)}


def fmt_ms(stats, digits=3):
    return "%.*f ms [IQR %.*f-%.*f]" % (digits, stats["median"], digits, stats["q1"],
                                       digits, stats["q3"])


def write_text(path, text, newline="\n"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline=newline) as f:
        f.write(text)


def load_average():
    try:
        with open("/proc/loadavg") as f:
            return " ".join(f.read().split()[:3])
    except OSError:
        return "unknown"


# ---------------------------------------------------------------------------
# Machine


def machine():
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    java = find_java()
    info = {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "nproc": os.cpu_count(),
        "cpu": cpu,
        "kernel": "%s %s" % (pyplatform.system(), pyplatform.release()),
        "os": first_line(["sh", "-c", ". /etc/os-release && echo \"$PRETTY_NAME\""]),
        "g++": first_line(["g++", "--version"]),
        "mingw g++": first_line(["x86_64-w64-mingw32-g++", "--version"]),
        "wine": first_line(["wine", "--version"], r"^wine-"),
        "java": first_line([java, "-version"]) if java else "not available",
        "valgrind": first_line(["valgrind", "--version"]),
    }
    try:
        with open("/proc/meminfo") as f:
            info["memory"] = f.readline().split(":", 1)[1].strip()
    except OSError:
        pass
    return info


def find_java():
    """The real java executable (symlinks followed): JAVA_HOME's, else PATH's."""
    home = os.environ.get("JAVA_HOME")
    if home and os.access(os.path.join(home, "bin", "java"), os.X_OK):
        return os.path.realpath(os.path.join(home, "bin", "java"))
    found = shutil.which("java")
    return os.path.realpath(found) if found else None


# ---------------------------------------------------------------------------
# Building


def build(with_windows):
    log("building the launchers (cmake presets)...")
    presets = ["native"] + (["windows"] if with_windows else [])
    for preset in presets:
        run(["cmake", "--preset", preset], cwd=ROOT)
        run(["cmake", "--build", "--preset", preset], cwd=ROOT)


def build_native_helper(name):
    """bench/<name>.c built for this machine into build/bench/<name>."""
    os.makedirs(OUT, exist_ok=True)
    run(["cc", "-O2", "-Wall", "-o", os.path.join(OUT, name), os.path.join(HERE, name + ".c")])


def build_in_process_bench(name, output, defines=()):
    """bench/<name>.cpp built as the launcher is, linked with the launcher's
    native libraries (its logic and the real POSIX platform), into output."""
    native = os.path.join(BUILD, "native")
    run(["g++", "-std=c++17", "-O3", "-DNDEBUG", "-Wall"] + list(defines) +
        ["-I", ROOT, "-o", output, os.path.join(HERE, name + ".cpp")] +
        [os.path.join(native, "libtarnwick_%s.a" % library)
         for library in ("logic", "platform", "split")])


def build_helpers(with_windows):
    log("building the helper programs into build/bench...")

    def src(name):
        return os.path.join(HERE, name)

    def out(name):
        return os.path.join(OUT, name)

    for name in ("spawn_timer", "trivial_child", "probe_child", "min_launcher"):
        build_native_helper(name)
    # The reader with the real POSIX platform.
    build_in_process_bench("config_bench", out("config_bench"))
    if with_windows:
        mingw = ["x86_64-w64-mingw32-gcc", "-O2", "-Wall", "-static", "-s"]
        run(mingw + ["-o", out("wine_timer.exe"), src("wine_timer.c")])
        run(mingw + ["-o", out("trivial_child.exe"), src("trivial_child.c")])
        run(mingw + ["-mwindows", "-o", out("trivial_child_gui.exe"), src("trivial_child.c")])
        run(mingw + ["-o", out("min_launcher.exe"), src("min_launcher.c")])
        for name, defines, _ in FLOOR_STEPS:
            run(mingw + defines + ["-o", out("min_launcher_%s.exe" % name), src("min_launcher.c"),
                                   "-ladvapi32"])


# ---------------------------------------------------------------------------
# Timing runs


def spawn_times(commands, rounds, warmup, env=None):
    """Runs commands interleaved with spawn_timer.  Returns one list of
    per-round wall times in ms per command (index = round), and the CPU
    times likewise.  A run that does not end with status 0 is an error."""
    argv = [os.path.join(OUT, "spawn_timer"), str(rounds), str(warmup)]
    for i, cmd in enumerate(commands):
        if i:
            argv.append(";;")
        argv.extend(cmd)
    out = run(argv, env=env)
    wall = [[None] * rounds for _ in commands]
    cpu = [[None] * rounds for _ in commands]
    seen = [0] * len(commands)
    for line in out.split("\n"):
        if not line.strip():
            continue
        index, ns, cpu_ns, status = (int(x) for x in line.split())
        if status != 0:
            raise RuntimeError("%s ended with wait status %d" % (" ".join(commands[index]), status))
        wall[index][seen[index]] = ns / 1e6
        cpu[index][seen[index]] = cpu_ns / 1e6
        seen[index] += 1
    return wall, cpu


def paired_difference(a, b):
    """Median and quartiles of a[i] - b[i] (same round)."""
    return summary([x - y for x, y in zip(a, b)])


def make_app(directory, name, config_lines):
    """A copy of the native launcher named `name` in directory, with its
    configuration beside it.  Returns the launcher's absolute path."""
    os.makedirs(directory, exist_ok=True)
    exe = os.path.join(directory, name)
    shutil.copyfile(NATIVE_LAUNCHER, exe)
    os.chmod(exe, 0o755)
    write_text(os.path.join(directory, name + ".config"), "".join(l + "\n" for l in config_lines))
    return exe


# ---------------------------------------------------------------------------
# 1. Launch overhead on Linux


def bench_linux_launch(rounds, java_rounds):
    child = os.path.join(OUT, "trivial_child")
    floor = os.path.join(OUT, "min_launcher")
    base = os.path.join(OUT, "linux")
    shutil.rmtree(base, ignore_errors=True)
    launcher = make_app(os.path.join(base, "child"), "Demo", ["javapath " + child])
    # The launcher runs "<javapath> " with no class path and no main class:
    # split by the Windows rules that is the child alone.  The direct start
    # gets exactly the same arguments.
    direct = [child]
    log("Linux: trivial child, %d rounds..." % rounds)
    wall, cpu = spawn_times([direct, [launcher, PASS_EXIT_CODE], [floor] + direct],
                            rounds, max(10, rounds // 10))
    result = {
        "direct": summary(wall[0]), "launcher": summary(wall[1]), "floor": summary(wall[2]),
        "overhead": paired_difference(wall[1], wall[0]),
        "floor_overhead": paired_difference(wall[2], wall[0]),
        "cpu_direct": summary(cpu[0]), "cpu_launcher": summary(cpu[1]), "cpu_floor": summary(cpu[2]),
        # CPU time of the started process and its waited-for children: what
        # the launcher costs in work, whatever else the machine is doing.
        "cpu_overhead": paired_difference(cpu[1], cpu[0]),
        "cpu_floor_overhead": paired_difference(cpu[2], cpu[0]),
    }
    result["ratio"] = result["launcher"]["median"] / result["direct"]["median"]
    result["floor_ratio"] = result["floor"]["median"] / result["direct"]["median"]

    java = find_java()
    if java:
        # "java -classpath . -version": the launcher writes the class path
        # after -classpath, and "-version" as the main class is taken by java
        # as its option, so the runtime prints its version and ends with 0.
        launcher_java = make_app(os.path.join(base, "java"), "Demo",
                                 ["javapath " + java, "addpath .", "mainclass -version"])
        direct_java = [java, "-classpath", ".", "-version"]
        log("Linux: java -version, %d rounds..." % java_rounds)
        wall, _ = spawn_times([direct_java, [launcher_java, PASS_EXIT_CODE]],
                              java_rounds, max(3, java_rounds // 10))
        j = {"direct": summary(wall[0]), "launcher": summary(wall[1]),
             "overhead": paired_difference(wall[1], wall[0])}
        j["ratio"] = j["launcher"]["median"] / j["direct"]["median"]
        j["fraction"] = j["overhead"]["median"] / j["direct"]["median"]
        # What the launcher adds does not depend on its child: it is one
        # more process start and the launcher's own work, measured precisely
        # with the trivial child.  A JVM start spreads over several
        # milliseconds on a shared machine, so the java pair's own difference
        # is a cross-check; the target is judged on the launcher's overhead
        # as a fraction of the java -version time.
        j["fraction_from_trivial"] = result["overhead"]["median"] / j["direct"]["median"]
        j["floor_fraction_from_trivial"] = result["floor_overhead"]["median"] / j["direct"]["median"]
        j["java"] = java
        result["java"] = j
    return result


# ---------------------------------------------------------------------------
# 2. The Windows executable under Wine


def wine_env(prefix):
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH="win64",
               WINEDLLOVERRIDES="mscoree,mshtml=;url,ieframe,shdocvw=d;winebrowser.exe=d")
    return env


def bench_wine(rounds, extra_exes=()):
    if not shutil.which("wine") or not shutil.which("wineserver"):
        return {"skipped": "wine is not installed"}
    prefix = os.path.join(OUT, "wine-prefix")
    env = wine_env(prefix)
    if not os.path.isfile(os.path.join(prefix, "system.reg")):
        log("Wine: creating the prefix %s (once)..." % prefix)
        subprocess.run(["wine", "wineboot", "-u"], env=env, timeout=600, check=True, **QUIET)
    # A wineserver that ends by itself a minute after its last client, and a
    # warm-up program, so that Wine's background processes are up first.
    subprocess.run(["wineserver", "-p60"], env=env, timeout=60, **QUIET)
    subprocess.run(["wine", "cmd", "/c", "exit"], env=env, timeout=300, **QUIET)

    drive = os.path.join(prefix, "drive_c", "bench")
    shutil.rmtree(drive, ignore_errors=True)
    os.makedirs(drive)
    step_exes = ["min_launcher_%s.exe" % name for name, _, _ in FLOOR_STEPS]
    for name in ["wine_timer.exe", "trivial_child.exe", "trivial_child_gui.exe",
                 "min_launcher.exe"] + step_exes:
        shutil.copyfile(os.path.join(OUT, name), os.path.join(drive, name))
    # Two launchers: one starting a console-subsystem child (as java.exe is,
    # in debug mode), one a GUI-subsystem child (as javaw.exe is, otherwise);
    # the other launchers given start the GUI child.
    apps = [("console", "trivial_child.exe", WINDOWS_EXE), ("gui", "trivial_child_gui.exe", WINDOWS_EXE)]
    apps += [("extra%d" % i, "trivial_child_gui.exe", path) for i, (_, path) in enumerate(extra_exes)]
    for app, child, exe in apps:
        os.makedirs(os.path.join(drive, app))
        shutil.copyfile(exe, os.path.join(drive, app, "Demo.exe"))
        write_text(os.path.join(drive, app, "Demo.config"),
                   "javapath C:\\bench\\%s\n" % child, newline="\r\n")
    # What the launcher runs: "<javapath> " (no class path, no main class).
    # The direct starts get the same line.
    console = "C:\\bench\\trivial_child.exe "
    gui = "C:\\bench\\trivial_child_gui.exe "
    commands = [console, "C:\\bench\\console\\Demo.exe " + PASS_EXIT_CODE,
                gui, "C:\\bench\\gui\\Demo.exe " + PASS_EXIT_CODE,
                "C:\\bench\\min_launcher.exe " + gui]
    commands += ["C:\\bench\\%s %s" % (exe, gui) for exe in step_exes]
    commands += ["C:\\bench\\extra%d\\Demo.exe %s" % (i, PASS_EXIT_CODE) for i in range(len(extra_exes))]
    write_text(os.path.join(drive, "job.txt"),
               "%d %d\n" % (rounds, max(3, rounds // 10)) + "".join(c + "\n" for c in commands),
               newline="\r\n")
    log("Wine: trivial children, %d rounds..." % rounds)
    # Output to a file, not a pipe: Wine's background processes would hold a
    # pipe open long after the timer ends.
    timer_log = os.path.join(OUT, "wine_timer.log")
    result_file = os.path.join(drive, "result.txt")
    for attempt in (1, 2):
        with open(timer_log, "wb") as f:
            code = subprocess.run(["wine", "C:\\bench\\wine_timer.exe", "C:\\bench\\job.txt",
                                   "C:\\bench\\result.txt"], env=env, timeout=3600,
                                  stdin=subprocess.DEVNULL, stdout=f, stderr=f).returncode
        # The result appears, complete, when the timer has ended.
        waited = 0.0
        while code == 0 and not os.path.exists(result_file) and waited < 3600:
            time.sleep(0.5)
            waited += 0.5
        if code == 0 and os.path.exists(result_file):
            break
        with open(timer_log, errors="replace") as f:
            message = f.read().strip()
        log("Wine: the timer failed (exit code %d): %s" % (code, message))
        if attempt == 2:
            raise RuntimeError("the Wine timer failed twice: %s" % message)
    # One line a run, a round being len(commands) consecutive lines.  Wine
    # now and then fails to start a process (seen: error 1359, an internal
    # error, for a console child); such a round is left out of every
    # figure and counted, so that the pairs stay pairs.
    with open(result_file) as f:
        runs = [line.split() for line in f if line.strip()]
    if len(runs) != rounds * len(commands):
        raise RuntimeError("the Wine timer's result is incomplete")
    wall = [[] for _ in commands]
    failures = []
    for start in range(0, len(runs), len(commands)):
        round_runs = runs[start:start + len(commands)]
        failed = [(commands[int(i)], int(code)) for i, _ns, code in round_runs if int(code) != 0]
        if failed:
            failures.extend(failed)
            continue
        for index, ns, _code in round_runs:
            wall[int(index)].append(float(ns) / 1e6)
    if len(wall[0]) < rounds * 0.9:
        raise RuntimeError("under Wine, too many runs failed: %r" % failures[:5])
    result = {"console_direct": summary(wall[0]), "console_launcher": summary(wall[1]),
              "direct": summary(wall[2]), "launcher": summary(wall[3]), "floor": summary(wall[4]),
              "console_overhead": paired_difference(wall[1], wall[0]),
              "overhead": paired_difference(wall[3], wall[2]),
              "floor_overhead": paired_difference(wall[4], wall[2])}
    result["ratio"] = result["launcher"]["median"] / result["direct"]["median"]
    result["console_ratio"] = result["console_launcher"]["median"] / result["console_direct"]["median"]
    result["floor_ratio"] = result["floor"]["median"] / result["direct"]["median"]
    result["floor_factor"] = result["overhead"]["median"] / result["floor_overhead"]["median"]
    first_step = 5
    result["steps"] = [{"name": label, "overhead": paired_difference(wall[first_step + i], wall[2])}
                       for i, (_, _, label) in enumerate(FLOOR_STEPS)]
    first_extra = first_step + len(FLOOR_STEPS)
    result["extras"] = []
    for i, (label, path) in enumerate(extra_exes):
        overhead = paired_difference(wall[first_extra + i], wall[2])
        result["extras"].append({"name": label, "path": path, "launcher": summary(wall[first_extra + i]),
                                 "overhead": overhead,
                                 "floor_factor": overhead["median"] / result["floor_overhead"]["median"]})
    result["failures"] = failures
    result["rounds_kept"] = len(wall[0])
    return result


# ---------------------------------------------------------------------------
# 3. The configuration reader


PART_BLOCK = (
    # One block of ten lines, repeated; {k} cycles through VARIABLE_POOL names.
    "# part {part} line {line}: a comment",
    "setenv BENCH_V{k}=$BENCH_ROOT/lib/{line}",
    "appname Demo $BENCH_V{k}",
    "workingDir $BENCH_ROOT/work",
    "consoleTitle $BENCH_V{k}\\title",
    "mainclass com.acme.Main",
    "outputFile $pid/out.txt",
    "// another comment",
    "",
    "setenv BENCH_W{k}=$BENCH_V{k}/x",
)


def header_lines(directory, child):
    return [
        "# benchmark configuration",
        "javapath " + child,
        "mainclass com.acme.Main",
        "setenv BENCH_ROOT=" + directory,
        "vmparam -Xmx256m",
        "vmparam -Dapp.home=$BENCH_ROOT",
        "addjars $BENCH_ROOT/lib",
        "addjar $BENCH_ROOT\\lib\\app.jar",
    ]


def write_config(directory, lines, child):
    """Demo.config of exactly `lines` lines in directory (0: the header
    alone): the header, one include line per part file, and part files of
    about LINES_PER_PART lines made of PART_BLOCK.  Returns the line count."""
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(os.path.join(directory, "work"))
    header = header_lines(directory, child)
    parts = 0 if lines == 0 else -(-lines // LINES_PER_PART)
    body = max(0, lines - len(header) - parts)
    sizes = [body // parts + (1 if i < body % parts else 0) for i in range(parts)]
    main = header + ["include part-%04d.config" % i for i in range(parts)]
    write_text(os.path.join(directory, "Demo.config"), "".join(l + "\n" for l in main))
    total = len(main)
    for part, size in enumerate(sizes):
        text = "".join(PART_BLOCK[line % len(PART_BLOCK)].format(
            part=part, line=line, k=line % VARIABLE_POOL) + "\n" for line in range(size))
        write_text(os.path.join(directory, "part-%04d.config" % part), text)
        total += size
    return total


def write_distinct_config(directory, lines):
    """The worst case for the environment: every line a setenv of a new name."""
    shutil.rmtree(directory, ignore_errors=True)
    os.makedirs(directory)
    text = "setenv BENCH_ROOT=%s\n" % directory + "".join(
        "setenv BENCH_D%d=$BENCH_ROOT/lib/%d\n" % (i, i) for i in range(lines - 1))
    write_text(os.path.join(directory, "Demo.config"), text)


def callgrind_instructions(directory):
    """Instructions executed inside readAppConfig(path) for one read in a
    fresh process, or None without valgrind."""
    if not shutil.which("valgrind"):
        return None
    with tempfile.TemporaryDirectory() as tmp:
        out_file = os.path.join(tmp, "callgrind.out")
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out_file,
                        "--toggle-collect=readAppConfig(char const*)",
                        os.path.join(OUT, "config_bench"), "1", "0", directory],
                       check=True, timeout=600, **QUIET)
        with open(out_file) as f:
            for line in f:
                if line.startswith("summary:") or line.startswith("totals:"):
                    return int(line.split()[1])
    return None


def bench_config(rounds, e2e_rounds):
    child = os.path.join(OUT, "trivial_child")
    base = os.path.join(OUT, "config")
    dirs, counts = [], []
    for size in (0,) + CONFIG_SIZES:
        directory = os.path.join(base, "n%d" % size)
        counts.append(write_config(directory, size, child))
        dirs.append(directory)
    line_counts = dict(zip((0,) + CONFIG_SIZES, counts))
    for size in CONFIG_SIZES:
        if line_counts[size] != size:
            raise RuntimeError("the %d-line configuration has %d lines" % (size, line_counts[size]))

    log("config: in process, %d rounds..." % rounds)
    out = run([os.path.join(OUT, "config_bench"), str(rounds), str(max(2, rounds // 10))] + dirs[1:])
    times = [[] for _ in CONFIG_SIZES]
    for line in out.split("\n"):
        if line.strip():
            index, ns, _vmparams, _vmpaths = (int(x) for x in line.split())
            times[index].append(ns / 1e6)
    inproc = {}
    for size, values in zip(CONFIG_SIZES, times):
        s = summary(values)
        s["us_per_line"] = s["median"] * 1000 / size
        inproc[size] = s

    log("config: instruction counts (valgrind)...")
    instructions = {size: callgrind_instructions(d) for size, d in zip(CONFIG_SIZES, dirs[1:])}

    log("config: worst case, distinct variable names...")
    distinct = {}
    for size in (1000, 10000):
        directory = os.path.join(base, "distinct%d" % size)
        write_distinct_config(directory, size)
        # One read in a fresh process (the environment grows from empty),
        # three times; the median.
        reads = [int(run([os.path.join(OUT, "config_bench"), "1", "0", directory]).split()[1]) / 1e6
                 for _ in range(3)]
        distinct[size] = {"first_read_ms": statistics.median(reads)}

    log("config: end to end through the launcher, %d rounds..." % e2e_rounds)
    launchers = []
    for directory in dirs:
        exe = os.path.join(directory, "Demo")
        shutil.copyfile(NATIVE_LAUNCHER, exe)
        os.chmod(exe, 0o755)
        launchers.append([exe, PASS_EXIT_CODE])
    wall, _ = spawn_times(launchers, e2e_rounds, max(5, e2e_rounds // 10))
    e2e = {"baseline": summary(wall[0])}
    for i, size in enumerate(CONFIG_SIZES, start=1):
        s = summary(wall[i])
        s["reader"] = paired_difference(wall[i], wall[0])
        e2e[size] = s

    t = {size: inproc[size]["median"] for size in CONFIG_SIZES}
    result = {"line_counts": line_counts, "in_process": inproc, "instructions": instructions,
              "end_to_end": e2e, "distinct": distinct,
              "growth_1k_10k": t[10000] / t[1000], "growth_100_1k": t[1000] / t[100],
              "per_line_ratio": inproc[10000]["us_per_line"] / inproc[1000]["us_per_line"]}
    if instructions[1000] and instructions[10000]:
        result["instruction_growth_1k_10k"] = instructions[10000] / instructions[1000]
        result["instruction_growth_100_1k"] = instructions[1000] / instructions[100]
    return result


# ---------------------------------------------------------------------------
# 4. Size of the Windows executable, peak memory of the native launcher


def exe_imports(path):
    out = run(["x86_64-w64-mingw32-objdump", "-p", path])
    return sorted({m.group(1).lower() for m in re.finditer(r"DLL Name:\s*(\S+)", out)})


def exe_contributors(top=8):
    """Re-links the Windows build's own objects without stripping, with a
    linker map, and sums the code and data each archive member brings."""
    windows = os.path.join(BUILD, "windows")
    commands = run(["ninja", "-C", windows, "-t", "commands", "tarnwick.exe"]).strip().split("\n")
    link = commands[-1]
    if "-o tarnwick.exe" not in link:
        return None
    map_file = os.path.join(OUT, "tarnwick-unstripped.map")
    exe = os.path.join(OUT, "tarnwick-unstripped.exe")
    link = link.replace(" -s ", " ").replace("-o tarnwick.exe", "-o %s -Wl,-Map=%s" % (exe, map_file))
    link = re.sub(r"-Wl,--out-implib,\S+", "", link)
    subprocess.run(["sh", "-c", link], cwd=windows, check=True, **QUIET)
    sizes = {}
    section = re.compile(r"^ \.(text|rdata|data|pdata|xdata)\S*(?:\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*))?$")
    follow = re.compile(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")
    with open(map_file, errors="replace") as f:
        lines = f.read().split("\n")
    for i, line in enumerate(lines):
        m = section.match(line)
        if not m:
            continue
        size, source = m.group(2), m.group(3)
        if size is None and i + 1 < len(lines):
            f = follow.match(lines[i + 1])
            if not f:
                continue
            size, source = f.group(1), f.group(2)
        if size is None:
            continue
        name = os.path.basename(source.strip())
        sizes[name] = sizes.get(name, 0) + int(size, 16)
    by_library = {}
    for name, size in sizes.items():
        library = re.sub(r"\(.*\)$", "", name)
        by_library[library] = by_library.get(library, 0) + size
    members = sorted(sizes.items(), key=lambda kv: -kv[1])[:top]
    libraries = sorted(by_library.items(), key=lambda kv: -kv[1])[:5]
    return {"members": members, "libraries": libraries}


def bench_size():
    if not os.path.isfile(WINDOWS_EXE):
        return {"skipped": "build/windows/tarnwick.exe is missing"}
    with tempfile.TemporaryDirectory() as tmp:
        stripped = os.path.join(tmp, "tarnwick.exe")
        run(["x86_64-w64-mingw32-strip", "-o", stripped, WINDOWS_EXE])
        size = os.path.getsize(stripped)
    imports = exe_imports(WINDOWS_EXE)
    try:
        contributors = exe_contributors()
    except (RuntimeError, subprocess.CalledProcessError, OSError) as e:
        contributors = {"error": str(e)}
    return {"bytes": size, "built_bytes": os.path.getsize(WINDOWS_EXE), "imports": imports,
            "system_only": set(imports) <= SYSTEM_DLLS, "contributors": contributors}


def peak_memory(program_argv, directory):
    """The probe child's reading of its parent's memory, in bytes."""
    out_file = os.path.join(directory, "probe.txt")
    env = dict(os.environ, BENCH_PROBE_OUT=out_file, BENCH_PROBE_SLEEP_MS="100")
    subprocess.run(program_argv, env=env, check=True, timeout=60, **QUIET)
    figures = {}
    with open(out_file) as f:
        for line in f:
            key, value = line.split()
            figures[key] = int(value) * (1 if key == "pid" else KIB)
    return figures


def bench_memory():
    probe = os.path.join(OUT, "probe_child")
    base = os.path.join(OUT, "memory")
    shutil.rmtree(base, ignore_errors=True)
    small = make_app(os.path.join(base, "small"), "Demo", ["javapath " + probe])
    big_dir = os.path.join(base, "big")
    write_config(big_dir, 10000, probe)
    big = os.path.join(big_dir, "Demo")
    shutil.copyfile(NATIVE_LAUNCHER, big)
    os.chmod(big, 0o755)
    result = {"launcher": peak_memory([small, PASS_EXIT_CODE], base),
              "launcher_10k_config": peak_memory([big, PASS_EXIT_CODE], base),
              "floor": peak_memory([os.path.join(OUT, "min_launcher"), probe], base)}
    return result


# ---------------------------------------------------------------------------
# Report


def verdict(ok):
    return "met" if ok else "MISSED"


def report(res):
    m = res["machine"]
    lines = []
    add = lines.append
    add("tarnwick benchmarks, %s" % m["date"])
    add("machine: %s x %s, %s, %s, %s" % (m["nproc"], m["cpu"], m.get("memory", "?"), m["kernel"], m["os"]))
    add("tools: %s | %s | %s | %s" % (m["g++"], m["mingw g++"], m["wine"], m["java"]))
    add("load average: %s at the start, %s at the end; priority of the runs: %s" % (
        res["load_start"], res["load_end"], res["priority"]))
    add("")
    add("RATIOS (medians of interleaved runs; overhead = median of per-round differences)")
    rows = []
    lin = res.get("linux")
    if lin:
        rows.append(("launcher / direct, trivial child (Linux)", "%.2f" % lin["ratio"],
                     "overhead %.3f ms" % lin["overhead"]["median"],
                     "<= %.1f ms" % TARGET_OVERHEAD_MS,
                     verdict(lin["overhead"]["median"] <= TARGET_OVERHEAD_MS)))
        rows.append(("  floor: min_launcher / direct", "%.2f" % lin["floor_ratio"],
                     "overhead %.3f ms" % lin["floor_overhead"]["median"], "(reference)", ""))
        rows.append(("  CPU time, launcher / direct",
                     "%.2f" % (lin["cpu_launcher"]["median"] / lin["cpu_direct"]["median"]),
                     "overhead %.3f ms (floor %.3f ms)" % (lin["cpu_overhead"]["median"],
                                                          lin["cpu_floor_overhead"]["median"]),
                     "(reference)", ""))
        j = lin.get("java")
        if j:
            rows.append(("launcher overhead / java -version time (Linux)",
                         "%.3f" % j["fraction_from_trivial"],
                         "%.1f%% (floor %.1f%%)" % (100 * j["fraction_from_trivial"],
                                                    100 * j["floor_fraction_from_trivial"]),
                         "<= %d%%" % round(100 * TARGET_JAVA_FRACTION),
                         verdict(j["fraction_from_trivial"] <= TARGET_JAVA_FRACTION)))
            rows.append(("  check: launcher / direct, java -version", "%.3f" % j["ratio"],
                         "difference %.2f ms = %.1f%% [IQR %.2f-%.2f ms]" % (
                             j["overhead"]["median"], 100 * j["fraction"],
                             j["overhead"]["q1"], j["overhead"]["q3"]),
                         "(reference)", ""))
    w = res.get("wine")
    if w and "skipped" not in w:
        rows.append(("launcher overhead / floor overhead, GUI child (Wine)", "%.2f" % w["floor_factor"],
                     "overhead %.1f ms, floor %.1f ms" % (w["overhead"]["median"],
                                                          w["floor_overhead"]["median"]),
                     "<= %.1f" % TARGET_WINE_FLOOR_FACTOR,
                     verdict(w["floor_factor"] <= TARGET_WINE_FLOOR_FACTOR)))
        for extra in w.get("extras", []):
            rows.append(("  the same for %s" % extra["name"], "%.2f" % extra["floor_factor"],
                         "overhead %.1f ms" % extra["overhead"]["median"], "(reference)", ""))
        rows.append(("launcher / direct, GUI child (Wine)", "%.2f" % w["ratio"],
                     "overhead %.1f ms" % w["overhead"]["median"], "(reported)", ""))
        rows.append(("  floor: min_launcher.exe / direct", "%.2f" % w["floor_ratio"],
                     "overhead %.1f ms" % w["floor_overhead"]["median"], "(reference)", ""))
        rows.append(("  launcher / direct, console child (Wine)", "%.2f" % w["console_ratio"],
                     "overhead %.1f ms" % w["console_overhead"]["median"], "(reported)", ""))
    c = res.get("config")
    if c:
        # Linearity is judged on the instruction counts when valgrind gave
        # them (they repeat exactly), else on the times.
        counted = "instruction_growth_1k_10k" in c
        if counted:
            rows.append(("config 10,000 / 1,000 lines (instructions)",
                         "%.2f" % c["instruction_growth_1k_10k"],
                         "per line x%.2f; 1,000 / 100: %.2f" % (c["instruction_growth_1k_10k"] / 10,
                                                                c["instruction_growth_100_1k"]),
                         "linear (<= x%.1f per line)" % TARGET_LINEAR_SLACK,
                         verdict(c["instruction_growth_1k_10k"] / 10 <= TARGET_LINEAR_SLACK)))
        rows.append(("config 10,000 / 1,000 lines (time)", "%.2f" % c["growth_1k_10k"],
                     "per line x%.2f" % c["per_line_ratio"],
                     "linear (<= x%.1f per line)" % TARGET_LINEAR_SLACK,
                     "(reference)" if counted else verdict(c["per_line_ratio"] <= TARGET_LINEAR_SLACK)))
    width = [max(len(r[i]) for r in rows) for i in range(5)] if rows else []
    for r in rows:
        add("  " + "  ".join(r[i].ljust(width[i]) for i in range(5)).rstrip())
    add("")
    add("ABSOLUTE FIGURES")
    if lin:
        add("  Linux, trivial child: direct %s; launcher %s; floor %s" % (
            fmt_ms(lin["direct"]), fmt_ms(lin["launcher"]), fmt_ms(lin["floor"])))
        add("    overhead %s; CPU time: direct %.3f ms, launcher %.3f ms" % (
            fmt_ms(lin["overhead"]), lin["cpu_direct"]["median"], lin["cpu_launcher"]["median"]))
        j = lin.get("java")
        if j:
            add("  Linux, java -version (%s): direct %s; launcher %s" % (
                j["java"], fmt_ms(j["direct"], 2), fmt_ms(j["launcher"], 2)))
            add("    difference %s" % fmt_ms(j["overhead"], 2))
        else:
            add("  Linux, java -version: no java found (JAVA_HOME or PATH)")
    if w:
        if "skipped" in w:
            add("  Wine: skipped (%s)" % w["skipped"])
        else:
            add("  Wine, GUI child: direct %s; launcher %s; floor %s" % (
                fmt_ms(w["direct"], 1), fmt_ms(w["launcher"], 1), fmt_ms(w["floor"], 1)))
            add("  Wine, console child: direct %s; launcher %s" % (
                fmt_ms(w["console_direct"], 1), fmt_ms(w["console_launcher"], 1)))
            add("  Wine, one start's steps: overhead over the direct start of the GUI child")
            add("    %-48s %s" % ("floor (min_launcher.exe)", fmt_ms(w["floor_overhead"], 1)))
            for step in w["steps"]:
                add("    %-48s %s" % (step["name"], fmt_ms(step["overhead"], 1)))
            add("    %-48s %s" % ("tarnwick.exe", fmt_ms(w["overhead"], 1)))
            for extra in w["extras"]:
                add("    %-48s %s" % (extra["name"], fmt_ms(extra["overhead"], 1)))
            if w["failures"]:
                add("    %d round(s) left out: a start failed under Wine (%s)" % (
                    len(w["failures"]), "; ".join("%s -> %d" % f for f in w["failures"][:3])))
    if c:
        add("  Config reader in process (real files, POSIX platform):")
        for size in CONFIG_SIZES:
            s = c["in_process"][size]
            ins = c["instructions"].get(size)
            add("    %6d lines: %s = %.2f us/line%s" % (
                size, fmt_ms(s), s["us_per_line"],
                "; %d instructions = %.0f/line" % (ins, ins / size) if ins else ""))
        add("  Config end to end (launcher with N lines minus launcher with the %d-line header):"
            % c["line_counts"][0])
        for size in CONFIG_SIZES:
            add("    %6d lines: launcher %s; reading %s" % (
                size, fmt_ms(c["end_to_end"][size]), fmt_ms(c["end_to_end"][size]["reader"])))
        ok = c["in_process"][10000]["median"] <= TARGET_CONFIG_10K_MS and \
            c["end_to_end"][10000]["reader"]["median"] <= TARGET_CONFIG_10K_MS
        add("    target 10,000 lines <= %.0f ms: %s" % (TARGET_CONFIG_10K_MS, verdict(ok)))
        d = c["distinct"]
        add("  Worst case, every line a setenv of a new name (one read in a fresh process, median of 3): "
            "1,000 lines %.1f ms, 10,000 lines %.1f ms (x%.0f)"
            % (d[1000]["first_read_ms"], d[10000]["first_read_ms"],
               d[10000]["first_read_ms"] / d[1000]["first_read_ms"]))
    s = res.get("size")
    if s:
        if "skipped" in s:
            add("  Windows exe: skipped (%s)" % s["skipped"])
        else:
            add("  Windows exe, stripped: %d bytes = %.1f KiB (target <= %d KiB): %s; imports %s: %s" % (
                s["bytes"], s["bytes"] / KIB, TARGET_EXE_BYTES // KIB,
                verdict(s["bytes"] <= TARGET_EXE_BYTES), ", ".join(s["imports"]),
                "system DLLs only" if s["system_only"] else "NOT system DLLs only"))
            contributors = s.get("contributors") or {}
            if "members" in contributors:
                add("    code+data by library: " + ", ".join(
                    "%s %.1f KiB" % (n, b / KIB) for n, b in contributors["libraries"]))
                add("    largest members: " + ", ".join(
                    "%s %.1f KiB" % (n, b / KIB) for n, b in contributors["members"]))
    mem = res.get("memory")
    if mem:
        l, b, f = mem["launcher"], mem["launcher_10k_config"], mem["floor"]
        add("  Peak memory (VmHWM) while the child runs: launcher %.2f MiB (%.0f KiB file-backed, "
            "%.0f KiB anonymous); with the 10,000-line config %.2f MiB; floor %.2f MiB" % (
                l["VmHWM"] / MIB, l.get("RssFile", 0) / KIB, l.get("RssAnon", 0) / KIB,
                b["VmHWM"] / MIB, f["VmHWM"] / MIB))
        add("    target <= 4 MiB: %s" % verdict(max(l["VmHWM"], b["VmHWM"]) <= TARGET_PEAK_BYTES))
    return "\n".join(lines)


def publish(text, res, json_path):
    """Prints the report text; writes every figure of res as JSON to
    json_path when one is given."""
    print(text)
    if json_path:
        with open(json_path, "w") as f:
            json.dump(res, f, indent=1, default=str)


def raise_priority():
    """Runs this process at nice -10 when allowed (as root); says which
    priority the figures were taken at."""
    try:
        os.nice(-10)
        return "nice -10"
    except OSError:
        return "normal (raising it needs root)"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quick", action="store_true", help="fewer rounds")
    parser.add_argument("--no-build", action="store_true", help="use the launchers already built")
    parser.add_argument("--no-wine", action="store_true", help="leave out Wine")
    parser.add_argument("--json", metavar="FILE", help="also write every figure as JSON")
    parser.add_argument("--no-nice", action="store_true",
                        help="do not raise the priority of the measured runs")
    parser.add_argument("--wine-exe", metavar="LABEL=PATH", action="append", default=[],
                        help="also time this tarnwick.exe under Wine in the same rounds")
    args = parser.parse_args()
    extra_exes = []
    for given in args.wine_exe:
        label, _, path = given.partition("=")
        if not label or not os.path.isfile(path):
            parser.error("--wine-exe wants LABEL=PATH of an existing file: %s" % given)
        extra_exes.append((label, os.path.abspath(path)))

    scale = 0.2 if args.quick else 1.0

    def rounds(n):
        return max(5, int(n * scale))

    # The Windows executable is built and measured (size) wherever MinGW-w64
    # is installed; --no-wine leaves out only the runs under Wine.
    with_windows = shutil.which("x86_64-w64-mingw32-g++") is not None
    if not with_windows:
        log("MinGW-w64 is not installed: the Windows executable is left out")
    if not args.no_build:
        build(with_windows)
    build_helpers(with_windows)

    # Other work on the machine (builds, tests, fuzzers) would otherwise take
    # turns with the measured programs and widen every spread.  A higher
    # priority (possible as root) keeps it out of the way while this runs.
    priority = raise_priority() if not args.no_nice else "normal"

    res = {"machine": machine(), "load_start": load_average(), "priority": priority}
    res["linux"] = bench_linux_launch(rounds(1000), rounds(150))
    if with_windows and not args.no_wine:
        res["wine"] = bench_wine(rounds(100), extra_exes)
    res["config"] = bench_config(rounds(50), rounds(200))
    res["size"] = bench_size() if with_windows else None
    res["memory"] = bench_memory()
    res["load_end"] = load_average()
    publish(report(res), res, args.json)
    return 0


if __name__ == "__main__":
    sys.exit(main())
