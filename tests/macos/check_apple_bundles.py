#!/usr/bin/python3
# Configures Ampora's Apple build here (cross-configure: nothing is compiled) and checks what it
# would produce: the bundle layout, the helper inside the monitor, the signing, the property lists,
# the icon.
# usage: check_apple_bundles.py SOURCE_DIR BUILD_DIR CMAKE
import os, plistlib, re, shutil, subprocess, sys


def expect(condition, message):
    if not condition:
        sys.exit("FAIL: " + message)


def configure(identity):
    shutil.rmtree(build, ignore_errors=True)
    clang = shutil.which("clang++")
    result = subprocess.run([
        cmake, "-S", source, "-B", build, "-DCMAKE_SYSTEM_NAME=Darwin",
        "-DCMAKE_C_COMPILER=" + shutil.which("clang"), "-DCMAKE_CXX_COMPILER=" + clang,
        "-DCMAKE_OBJCXX_COMPILER=" + clang, "-DCMAKE_OSX_SYSROOT=/",
        "-DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY", "-DCMAKE_INSTALL_NAME_TOOL=/bin/true",
        "-DAMPORA_TESTS=OFF", "-DAMPORA_CODESIGN_IDENTITY=" + identity], capture_output=True,
        text=True, timeout=200)
    expect(result.returncode == 0, "configuring failed:\n" + result.stdout[-3000:] + result.stderr)
    manifest = open(build + "/ampora-macos-bundles.txt").read().splitlines()
    return dict(line.split("=", 1) for line in manifest), open(
        build + "/platform/macos/CMakeFiles/ampora_macos_bundle.dir/build.make").read()


source, build, cmake = sys.argv[1:]
ids = dict(re.findall(r'string_view (\w+) = "([^"]*)";',
                      open(source + "/shared/identifiers.h").read()))
m, rules = configure("Test Signer")
monitor, helper = m["monitor_bundle"], m["helper_destination"]
executable = monitor + "/Contents/MacOS/" + ids["MonitorExecutableName"]
# The helper finds the monitor by dropping three components of its own bundle path.
found = helper.split("/")[:-3] + [ids["MonitorExecutableDirectory"], ids["MonitorExecutableName"]]
expect(m["monitor_executable"] == executable and "/".join(found) == executable
       and helper == monitor + "/Contents/Library/LoginItems/%s.app" % ids["HelperExecutableName"],
       "helper at " + helper)
# Everything that goes into the programs is built for both processors and the oldest system.
for library in ("battery/CMakeFiles/ampora_battery.dir",
                "platform/macos/CMakeFiles/ampora_macos_appkit.dir"):
    flags = open(os.path.join(build, library, "flags.make")).read()
    expect(all(f in flags for f in ("-arch x86_64", "-arch arm64", "-mmacosx-version-min=10.13"))
           and "compat" not in flags, library + " flags")
# "Rate Ampora" on the Mac opens the App Store page.
app_flags = open(os.path.join(build, "app/CMakeFiles/ampora_app.dir/flags.make")).read()
expect("macappstore://" in app_flags, "the store link on the Mac")
# Copy the helper in, sign it, then the monitor whose seal covers it, each time a program changes.
sign = 'codesign --force --options runtime --timestamp --entitlements %s --sign "Test Signer" %s'
steps = [rules.find("copy_directory %s %s" % (m["helper_bundle"], helper)),
         rules.find(sign % (m["helper_entitlements"], helper)),
         rules.find(sign % (m["monitor_entitlements"], monitor) + "\n")]
expect(-1 < steps[0] < steps[1] < steps[2], "copy, sign helper, sign monitor: %s" % steps)
expect(all(os.path.relpath(m[p + "_executable"], build) in rules for p in ("monitor", "helper")),
       "the bundle step ignores a program")
main, login, *sandboxes = (plistlib.load(open(m[key], "rb")) for key in (
    "monitor_info_plist", "helper_info_plist", "monitor_entitlements", "helper_entitlements"))
expect([main.get(k) for k in ("CFBundleIdentifier", "CFBundleExecutable", "LSUIElement",
                              "LSMinimumSystemVersion")]
       == [ids["MainBundleIdentifier"], ids["MonitorExecutableName"], True, "10.13"]
       and [login.get(k) for k in ("CFBundleIdentifier", "LSBackgroundOnly")]
       == [ids["HelperBundleIdentifier"], True]
       and all(s.get("com.apple.security.app-sandbox") is True for s in sandboxes),
       "property lists")
# Both bundles name the icon and carry it in Contents/Resources.
for plist, bundle, target in ((main, monitor, "monitor"), (login, m["helper_bundle"], "helper")):
    name = plist.get("CFBundleIconFile")
    copy = "copy %s %s/Contents/Resources/%s" % (m["icon"], os.path.relpath(bundle, build), name)
    expect(name == "Ampora.icns" and copy in open("%s/platform/macos/CMakeFiles/ampora_macos_%s.dir"
                                                  "/build.make" % (build, target)).read(),
           target + " icon")
# The icon: every size Finder and the Dock ask for, each a PNG of its size, the lengths consistent.
icns = open(m["icon"], "rb").read()
expect(icns[:4] == b"icns" and int.from_bytes(icns[4:8], "big") == len(icns), "icns header")
sizes, at = {}, 8
while at < len(icns):
    kind, length = icns[at:at + 4].decode(), int.from_bytes(icns[at + 4:at + 8], "big")
    png = icns[at + 8:at + length]
    expect(length > 8 and png[:8] == b"\x89PNG\r\n\x1a\n", kind + " is no PNG")
    sizes[kind] = (int.from_bytes(png[16:20], "big"), int.from_bytes(png[20:24], "big"))
    at += length
expect(sizes == {k: (p, p) for k, p in (("icp4", 16), ("ic11", 32), ("icp5", 32), ("ic12", 64),
                                        ("ic07", 128), ("ic13", 256), ("ic08", 256),
                                        ("ic14", 512), ("ic09", 512), ("ic10", 1024))},
       "icon sizes %s" % sizes)
# Signed ad hoc: no timestamp, which needs Apple's server and means nothing there.
rules = configure("-")[1]
expect("--sign -" in rules and "--timestamp" not in rules, "ad-hoc signing asks for a timestamp")
