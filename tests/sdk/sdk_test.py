#!/usr/bin/env python3
"""The SDK as a client gets it: `cmake --install` and `cpack` of a build give the
same files, laid out as documented, built for the build's architecture. With
--toolchain and --wineprefix the example client is then built against the
installed tree (never the build tree) and run in a Wine prefix where nothing is
registered, with and without the manifests that activate it."""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

LAYOUT = {
    "bin/Quorvex3.dll", "bin/TagServer.dll", "bin/QuorvexLog.dll", "bin/quorvexcfg.exe",
    "bin/Quorvex3.manifest", "bin/TagServer.manifest",
    "lib/Quorvex3.tlb", "lib/TagServerLib.tlb", "lib/libQuorvex3Guids.a",
    "lib/cmake/Quorvex3/Quorvex3Config.cmake", "lib/cmake/Quorvex3/Quorvex3ConfigVersion.cmake",
    "lib/cmake/Quorvex3/Quorvex3Targets.cmake", "lib/cmake/Quorvex3/Quorvex3Targets-CONFIG.cmake",
    "include/Quorvex3.h", "include/Quorvex3_i.c", "include/TagServer.h", "include/TagServer_i.c",
    "include/TagServerLib.h", "include/TagServerLib_i.c",
    "examples/CMakeLists.txt", "examples/QuorvexClient.cpp", "examples/QuorvexClient.exe.manifest",
}
MACHINE = {"x64": (0x8664, "amd64"), "x86": (0x14C, "x86")}

WINE_SH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "wine.sh")
OK = "0x00000000"
WROTE_AND_READ = ["ConfigFile by CLSID: " + OK, "Write: " + OK, "ConfigFile by ProgID: " + OK, "Read: " + OK,
                  'read 1.0.2A.FF = "pump 1"', "read 1.0.2A.100 (no value)"]
# (name, files left out of the program's folder, exit status, lines the client prints)
RUNS = [
    ("nothing registered, no application manifest", ["QuorvexClient.exe.manifest"], 1,
     ["tag server by ProgID: 0x800401F3"]),
    ("application manifest and the assembly manifests beside the DLLs", [], 0, WROTE_AND_READ),
]


def normalized(name):
    return re.sub(r"Quorvex3Targets-\w+\.cmake$", "Quorvex3Targets-CONFIG.cmake", name.replace(os.sep, "/"))


def tree(root):
    return {normalized(os.path.relpath(os.path.join(d, f), root)) for d, _, files in os.walk(root) for f in files}


def pe_machine(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    return struct.unpack_from("<H", data, offset + 4)[0]


def check_layout(sdk, zip_names, arch):
    files = tree(sdk)
    machine, manifest_arch = MACHINE[arch]
    failures = ["installed layout: missing %s, unexpected %s" % (sorted(LAYOUT - files), sorted(files - LAYOUT))
                ] if files != LAYOUT else []
    failures += ["ZIP differs from the install: %s" % sorted(zip_names ^ files)] if zip_names != files else []
    failures += ["%s is not built for %s" % (f, arch) for f in sorted(files)
                 if f.endswith((".dll", ".exe")) and pe_machine(os.path.join(sdk, f)) != machine]
    failures += ["%s does not name %s" % (f, manifest_arch) for f in sorted(files) if f.endswith(".manifest")
                 and 'processorArchitecture="%s"' % manifest_arch not in open(os.path.join(sdk, f)).read()]
    return failures


def install(build, work):
    sdk = os.path.join(work, "sdk")
    subprocess.run(["cmake", "--install", build, "--prefix", sdk], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cpack", "--config", os.path.join(build, "CPackConfig.cmake"), "-B", os.path.join(work, "zip")],
                   check=True, stdout=subprocess.DEVNULL)
    archives = [f for f in os.listdir(os.path.join(work, "zip")) if f.endswith(".zip")]
    with zipfile.ZipFile(os.path.join(work, "zip", archives[0])) as archive:
        names = {normalized(n.split("/", 1)[1]) for n in archive.namelist() if not n.endswith("/")}
    return sdk, archives[0], names


def build_client(sdk, toolchain, work):
    client = os.path.join(work, "client")
    subprocess.run(["cmake", "-S", os.path.join(sdk, "examples"), "-B", client, "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_TOOLCHAIN_FILE=" + toolchain,
                    "-DCMAKE_PREFIX_PATH=" + sdk], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", client], check=True)
    with open(os.path.join(client, "CMakeCache.txt")) as f:
        found = re.search(r"^Quorvex3_DIR:PATH=(.*)$", f.read(), re.M).group(1)
    if os.path.realpath(found) != os.path.realpath(os.path.join(sdk, "lib/cmake/Quorvex3")):
        return client, ["the client found Quorvex3 in %s, not in the installed SDK" % found]
    return client, []


def run_client(sdk, client, arch, prefix, folder, left_out):
    shutil.copytree(os.path.join(sdk, "bin"), folder)
    for program in ("QuorvexClient.exe", "QuorvexClient.exe.manifest"):
        shutil.copy(os.path.join(client, program), folder)
    for left in left_out:
        os.remove(os.path.join(folder, left))
    run = subprocess.run([WINE_SH, arch, prefix, "QuorvexClient.exe", "plant.cfg"], cwd=folder, capture_output=True,
                         stdin=subprocess.DEVNULL, timeout=120)
    written = os.path.join(folder, "plant.cfg")
    text = open(written, "rb").read().decode("utf-16") if os.path.exists(written) else ""
    return run.returncode, run.stdout.decode(errors="replace").replace("\r\n", "\n"), text


def check_runs(sdk, client, arch, prefix, work):
    failures = []
    for number, (name, left_out, status, lines) in enumerate(RUNS):
        code, out, text = run_client(sdk, client, arch, prefix, os.path.join(work, "run%d" % number), left_out)
        missing = [l for l in lines if l not in out.splitlines()]
        if status == 0 and not text.endswith('\r\n1.0.2A.FF="pump 1"\r\n1.0.2A.100=\r\n'):
            missing.append("the file's tag lines, got %r" % text)
        if code != status or missing:
            failures.append("%s: exit %d (expected %d), missing %s, output:\n%s" % (name, code, status, missing, out))
        else:
            print("ok: " + name)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--arch", required=True, choices=sorted(MACHINE))
    parser.add_argument("--toolchain", help="build and run the example client with this toolchain file")
    parser.add_argument("--wineprefix")
    options = parser.parse_args()

    work = tempfile.mkdtemp(prefix="quorvex-sdk-test-")
    try:
        sdk, archive, zip_names = install(options.build, work)
        print("installed, and packed as " + archive)
        failures = check_layout(sdk, zip_names, options.arch)
        if options.toolchain and not failures:
            client, failures = build_client(sdk, options.toolchain, work)
            if not failures:
                failures = check_runs(sdk, client, options.arch, options.wineprefix, work)
        for failure in failures:
            print("FAIL: " + failure)
        print("SDK: %d failed" % len(failures))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
