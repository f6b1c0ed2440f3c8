#!/usr/bin/python3
"""Configures Ampora's Apple build on this machine (cross-configure only, nothing is compiled)
and checks what it would produce: the bundle layout, the helper copied into the monitor, the
signing order, and the property lists and entitlements with the shared identifiers.

usage: check_apple_bundles.py configure|layout|plists SOURCE_DIR BUILD_DIR CMAKE
"""
import os
import plistlib
import re
import shutil
import subprocess
import sys

SIGN_IDENTITY = "Ampora Test Signer"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def configure(source, build, cmake):
    shutil.rmtree(build, ignore_errors=True)
    clang, clangxx = shutil.which("clang"), shutil.which("clang++")
    if not clang or not clangxx:
        fail("clang is needed to configure the Apple build")
    command = [
        cmake, "-S", source, "-B", build, "-G", "Unix Makefiles",
        "-DCMAKE_SYSTEM_NAME=Darwin",
        "-DCMAKE_C_COMPILER=" + clang, "-DCMAKE_CXX_COMPILER=" + clangxx,
        "-DCMAKE_OBJCXX_COMPILER=" + clangxx,
        "-DCMAKE_OSX_SYSROOT=/", "-DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY",
        "-DCMAKE_INSTALL_NAME_TOOL=/bin/true",
        "-DAMPORA_TESTS=OFF", "-DAMPORA_MACOS_CHECKS=OFF",
        "-DAMPORA_CODESIGN_IDENTITY=" + SIGN_IDENTITY,
    ]
    result = subprocess.run(command, capture_output=True, text=True, timeout=200)
    if result.returncode != 0:
        print(result.stdout[-4000:])
        print(result.stderr[-4000:])
        fail("configuring the Apple build failed")


def manifest(build):
    path = os.path.join(build, "ampora-macos-bundles.txt")
    if not os.path.exists(path):
        fail("no bundle manifest: the Apple branch was not configured")
    with open(path, encoding="utf-8") as f:
        return dict(line.split("=", 1) for line in f.read().splitlines() if "=" in line)


def identifiers(source):
    with open(os.path.join(source, "shared", "identifiers.h"), encoding="utf-8") as f:
        text = f.read()
    return dict(re.findall(r'std::string_view (\w+) = "([^"]*)";', text))


def check_layout(source, build):
    m = manifest(build)
    ids = identifiers(source)
    monitor = m["monitor_bundle"]
    if not monitor.endswith("/Ampora.app"):
        fail("monitor bundle is " + monitor)
    expected_exe = monitor + "/Contents/MacOS/" + ids["MonitorExecutableName"]
    if m["monitor_executable"] != expected_exe:
        fail("monitor executable at %s, expected %s" % (m["monitor_executable"], expected_exe))
    helper_name = ids["HelperExecutableName"]
    if not m["helper_executable"].endswith("%s.app/Contents/MacOS/%s" % (helper_name, helper_name)):
        fail("helper executable at " + m["helper_executable"])
    destination = m["helper_destination"]
    if destination != "%s/Contents/Library/LoginItems/%s.app" % (monitor, helper_name):
        fail("helper copied to " + destination)
    # The helper finds the monitor by dropping three components of its own bundle path.
    parts = destination.split("/")[:-3] + [ids["MonitorExecutableDirectory"],
                                           ids["MonitorExecutableName"]]
    if "/".join(parts) != m["monitor_executable"]:
        fail("the helper's path arithmetic gives " + "/".join(parts))
    if set(m["architectures"].split(";")) != {"x86_64", "arm64"}:
        fail("architectures " + m["architectures"])
    if m["deployment_target"] != "10.13":
        fail("deployment target " + m["deployment_target"])

    # Everything that goes into the programs is built for both processors and the oldest system,
    # not just the programs' own files.
    for library in ("battery/CMakeFiles/ampora_battery.dir", "app/CMakeFiles/ampora_app.dir",
                    "platform/macos/CMakeFiles/ampora_macos_appkit.dir"):
        with open(os.path.join(build, library, "flags.make"), encoding="utf-8") as f:
            flags = f.read()
        for flag in ("-arch x86_64", "-arch arm64", "-mmacosx-version-min=10.13"):
            if flag not in flags:
                fail("%s is compiled without %s" % (library, flag))
        if "compat" in flags or "GNUstep" in flags:
            fail("%s sees the stand-in declarations or GNUstep on a Mac" % library)

    # The bundle step: copy the built helper, then sign the helper, then the monitor.
    build_make = os.path.join(build, "platform", "macos", "CMakeFiles",
                              "ampora_macos_bundle.dir", "build.make")
    with open(build_make, encoding="utf-8") as f:
        rules = f.read()
    copy = rules.find("copy_directory " + m["helper_bundle"] + " " + destination)
    sign_helper = rules.find("codesign --force --options runtime --timestamp --entitlements " +
                             m["helper_entitlements"] + ' --sign "' + SIGN_IDENTITY + '" ' +
                             destination)
    sign_monitor = rules.find("--entitlements " + m["monitor_entitlements"] + ' --sign "' +
                              SIGN_IDENTITY + '" ' + monitor + "\n")
    if copy < 0:
        fail("the bundle step does not copy the helper into LoginItems")
    if sign_helper < 0 or sign_monitor < 0:
        fail("the bundle step does not sign both bundles")
    if not copy < sign_helper < sign_monitor:
        fail("copy and signing are out of order (copy, helper, monitor expected)")
    depend = os.path.join(build, "CMakeFiles", "Makefile2")
    with open(depend, encoding="utf-8") as f:
        graph = f.read()
    for program in ("monitor", "helper"):
        if not re.search(r"ampora_macos_bundle\.dir/all: platform/macos/CMakeFiles/"
                         r"ampora_macos_%s\.dir/all" % program, graph):
            fail("the bundle step does not wait for the %s" % program)
    # ... and runs again whenever either program is relinked.
    for executable in (m["monitor_executable"], m["helper_executable"]):
        relative = os.path.relpath(executable, build)  # make rules name files from the top
        if not re.search(r"ampora-bundle\.stamp: " + re.escape(relative) + "\n", rules):
            fail("the bundle step does not depend on " + executable)
    print("layout ok:", monitor)


def check_plists(source, build):
    m = manifest(build)
    ids = identifiers(source)
    with open(m["monitor_info_plist"], "rb") as f:
        monitor = plistlib.load(f)
    with open(m["helper_info_plist"], "rb") as f:
        helper = plistlib.load(f)
    expectations = [
        (monitor, "CFBundleIdentifier", ids["MainBundleIdentifier"]),
        (monitor, "CFBundleExecutable", ids["MonitorExecutableName"]),
        (monitor, "LSUIElement", True),
        (monitor, "CFBundlePackageType", "APPL"),
        (monitor, "LSMinimumSystemVersion", "10.13"),
        (helper, "CFBundleIdentifier", ids["HelperBundleIdentifier"]),
        (helper, "CFBundleExecutable", ids["HelperExecutableName"]),
        (helper, "LSBackgroundOnly", True),
        (helper, "CFBundlePackageType", "APPL"),
    ]
    for plist, key, value in expectations:
        if plist.get(key) != value:
            fail("%s is %r, expected %r" % (key, plist.get(key), value))
    if "LSUIElement" in helper or "LSBackgroundOnly" in monitor:
        fail("monitor and helper property lists are mixed up")
    for unresolved in (monitor, helper):
        for key, value in unresolved.items():
            if isinstance(value, str) and ("@" in value or "${" in value):
                fail("unresolved placeholder in %s: %s" % (key, value))
    for key in ("monitor_entitlements", "helper_entitlements"):
        with open(m[key], "rb") as f:
            entitlements = plistlib.load(f)
        if entitlements.get("com.apple.security.app-sandbox") is not True:
            fail(key + " does not enable the app sandbox")
    print("property lists ok")


def main():
    if len(sys.argv) != 5:
        fail(__doc__)
    step, source, build, cmake = sys.argv[1:]
    if step == "configure":
        configure(source, build, cmake)
    elif step == "layout":
        check_layout(source, build)
    elif step == "plists":
        check_plists(source, build)
    else:
        fail(__doc__)


if __name__ == "__main__":
    main()
