#!/usr/bin/env python3
"""Build and run cost of module test programs, in CPU seconds (less sensitive
than wall time to what else the machine is doing).

  tools/mutation/test-cost.py <build-folder> <module>...

For each module: compiles every source under tests/<module>/ (name "support"
for tests/support/) again from compile_commands.json without ccache (objects go to a scratch folder),
then runs <module>_tests once. Prints compile CPU s, run wall s and run CPU s.
"""
import json
import os
import resource
import shlex
import subprocess
import sys
import tempfile
import time
from pathlib import Path


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def main(build, modules):
    build = Path(build).resolve()
    commands = json.loads((build / "compile_commands.json").read_text())
    env = dict(os.environ, CCACHE_DISABLE="1", QT_QPA_PLATFORM="offscreen")
    print(f"{'module':10} {'sources':>7} {'compile CPU s':>13} {'run wall s':>10} {'run CPU s':>9}")
    with tempfile.TemporaryDirectory() as scratch:
        for module in modules:
            entries = [c for c in commands if f"/tests/{module}/" in c["file"]]
            before = cpu_of_children()
            for n, entry in enumerate(entries):
                argv = shlex.split(entry["command"])
                if "ccache" in Path(argv[0]).name:
                    argv = argv[1:]
                out = argv.index("-o")
                argv[out + 1] = f"{scratch}/{n}.o"
                subprocess.run(argv, cwd=entry["directory"], env=env, check=True)
            compile_cpu = cpu_of_children() - before
            program = build / "tests" / module / f"{module}_tests"
            if not program.exists():  # tests/support: a library, nothing to run
                print(f"{module:10} {len(entries):7} {compile_cpu:13.1f}", flush=True)
                continue
            before, start = cpu_of_children(), time.monotonic()
            subprocess.run([program, "--gtest_brief=1"], cwd=program.parent, env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            wall, run_cpu = time.monotonic() - start, cpu_of_children() - before
            print(f"{module:10} {len(entries):7} {compile_cpu:13.1f} {wall:10.1f} {run_cpu:9.1f}", flush=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
