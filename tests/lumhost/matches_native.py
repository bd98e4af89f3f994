"""lumhost.exe under wine gives the native build's renders bit for bit and its response
table to 1e-6: matches_native.py NATIVE_BUILD EMULATOR LUMHOST_EXE WINDOWS_LIBRARY_DIR"""
import os
import subprocess
import sys
import tempfile

native_build, emulator, windows_lumhost, windows_libraries = sys.argv[1:5]
native_build, windows_lumhost = os.path.abspath(native_build), os.path.abspath(windows_lumhost)
native_lumhost = os.path.join(native_build, "bin", "lumhost")
if not os.access(native_lumhost, os.X_OK):
    print(f"no native lumhost at {native_lumhost}: build the native preset first (or set LUM_NATIVE_BUILD)")
    sys.exit(77)
RUNS = [
    ["render", "QX-DaRovoVIR3", "QX-DaRovoVIR3", "--signal", "sweep", "--pin", "Filter Type=Peak",
     "--pin", "Slope=FourSections", "--pin", "Gain=6dB", "--out", "{}.wav"],
    ["render", "KEL_MATH", "KelMathLimitAudio", "--pin", "Min=-0.2", "--block", "37", "--out", "{}-limit.wav"],
    ["response", "QX-DaRovoVIR3", "QX-DaRovoVIR3", "--pin", "Filter Type=BandPass", "--pin", "Q=0.4",
     "--csv", "{}.csv"],
]


def run(command, libraries, arguments, name):
    arguments = [a.format(name) for a in arguments]
    arguments[1] = f"{libraries}/{arguments[1]}.lum"
    subprocess.run(command + arguments, check=True, capture_output=True)
    with open(arguments[-1], "rb") as out:
        return out.read()


def numbers(table):
    return [[float(v) for v in line.split(b",")] for line in table.splitlines()[1:]]


failed = False
with tempfile.TemporaryDirectory() as folder:
    os.chdir(folder)
    for arguments in RUNS:
        native = run([native_lumhost], os.path.join(native_build, "lib"), arguments, "native")
        windows = run([emulator, windows_lumhost], windows_libraries, arguments, "windows")
        a, b = (numbers(native), numbers(windows)) if arguments[-1].endswith(".csv") else ([[native]], [[windows]])
        same = len(a) == len(b) and all(x == y or (isinstance(x, float) and abs(x - y) <= 1e-6) for r, s in zip(a, b) for x, y in zip(r, s))
        print(("same: " if same else "DIFFERENT: ") + " ".join(arguments[:3]))
        failed |= not same
sys.exit(1 if failed else 0)
