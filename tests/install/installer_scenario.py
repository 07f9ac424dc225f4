#!/usr/bin/env python3
"""The Windows Installer package as a user meets it, in a Wine prefix made fresh for this run.

1. A silent per-machine install (msiexec /i /qn) puts vistrel.exe under Program Files and a
   Start-menu shortcut, and registers every lower-case extension of imageExtensions
   (src/imagelist/image_rules.cpp): Applications\\vistrel.exe with SupportedTypes, one ProgID per
   type family with its icon and open verb, OpenWithProgids entries, the Capabilities and the
   RegisteredApplications entry. Another program's default association and OpenWithProgids entry,
   there before the install, stay as they were.
2. Opening samples through a ProgID and through the Applications entry (ShellExecuteEx with that
   class, as Explorer does) starts the installed viewer with the title "Vistrel - <file name>".
   libheif.dll and libde265.dll lie beside vistrel.exe as built, with their licences.
3. A silent uninstall removes the program, its libraries and licences, the shortcut and everything it wrote in the registry
   (the whole registry is compared with the one exported before the install) and keeps the
   settings file the viewer wrote.
4. A per-user install (ALLUSERS empty: what Windows makes of MSIINSTALLPERUSER=1; Wine 8 ignores
   that property) writes the same registration under HKCU and none of it under HKLM; uninstalling
   it with REMOVESETTINGS=1 removes the settings file as well and leaves the registry as before.

Each failed check prints "expected X, got Y"; the last line counts the checks and the failures.
Usage: installer_scenario.py --source SOURCE_DIR --build BUILD_DIR --version VERSION
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

# The type family, and so the ProgID Vistrel.<family>, of each extension the folder listing accepts.
FAMILIES = {
    "jpg": "JPEG", "jpeg": "JPEG", "jpe": "JPEG", "jif": "JPEG", "jfif": "JPEG", "jfi": "JPEG",
    "png": "PNG", "gif": "GIF", "bmp": "BMP", "tif": "TIFF",
    "jp2": "JPEG2000", "j2k": "JPEG2000", "jpf": "JPEG2000", "jpx": "JPEG2000", "jpm": "JPEG2000",
    "mj2": "JPEG2000",
    "webp": "WEBP", "avif": "AVIF", "heic": "HEIF", "heif": "HEIF", "hif": "HEIF", "jxl": "JXL",
}
INSTALLED_EXE = r"C:\Program Files\Vistrel\vistrel.exe"
OPEN_COMMAND = f'"{INSTALLED_EXE}" "%1"'
ICON = f'"{INSTALLED_EXE}",0'
NONEMPTY = object()  # an expected value: any non-empty string
# Left out when registries before the install and after the uninstall are compared: the
# installer service's own bookkeeping (Wine keeps its emptied keys; no line of it may name
# Vistrel, which is checked separately) and Wine's own state (the network cards it lists on first
# use, the desktop's temporary parameters).
IGNORED = tuple(f"[{key.lower()}" for key in (
    r"HKEY_LOCAL_MACHINE\Software\Classes\Installer",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Installer",
    r"HKEY_CURRENT_USER\Software\Microsoft\Installer",
    r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\NetworkCards",
    r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Microsoft\Windows NT\CurrentVersion\NetworkCards",
    r"HKEY_CURRENT_USER\Software\Wine",
))
# Set up by another program before the install; the package must leave both alone.
OTHER_DEFAULT = ("png", "OtherViewer.png")
OTHER_OPEN_WITH = ("jpg", "OtherViewer.jpg")


class Checks:
    def __init__(self):
        self.count = 0
        self.failed = 0

    def expect(self, what, expected, got):
        self.count += 1
        ok = (got is not None and got != "") if expected is NONEMPTY else expected == got
        if not ok:
            self.failed += 1
            shown = "a non-empty value" if expected is NONEMPTY else repr(expected)
            print(f"FAIL {what}: expected {shown}, got {got!r}", flush=True)
        return ok


class Registry:
    """A registry exported by regedit /E: keys and values, compared case-insensitively."""

    def __init__(self, text):
        self.keys = {}  # lower-case key path -> (key path, {lower-case name: (name, data)})
        current = None
        pending = ""
        for raw in text.splitlines():
            line = pending + raw.strip()
            pending = ""
            if line.endswith(",\\"):  # a hex value goes on on the next line
                pending = line[:-1]
                continue
            if line.startswith("[") and line.endswith("]"):
                path = line[1:-1]
                current = self.keys.setdefault(path.lower(), (path, {}))[1]
                continue
            match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
            if match and current is not None:
                name = "" if match.group(1) == "@" else unescape(match.group(1)[1:-1])
                current[name.lower()] = (name, match.group(2))

    def values(self, key):
        """{name: text} of a key (strings unescaped, other types as exported); {} when absent."""
        entry = self.keys.get(key.lower())
        if entry is None:
            return {}
        return {name: string_data(data) for name, data in entry[1].values()}

    def get(self, key, name=""):
        entry = self.keys.get(key.lower())
        if entry is None or name.lower() not in entry[1]:
            return None
        return string_data(entry[1][name.lower()][1])

    def lines(self):
        """Every key and value as one line each, for comparing two exports."""
        lines = set()
        for path, values in self.keys.values():
            lines.add(f"[{path}]")
            for name, data in values.values():
                lines.add(f"[{path}] {name!r}={data}")
        return lines


def unescape(text):
    return re.sub(r"\\(.)", r"\1", text)


def string_data(data):
    return unescape(data[1:-1]) if data.startswith('"') and data.endswith('"') else data


def image_extensions(source):
    """The lower-case extensions of the folder listing, read from its source."""
    text = (source / "src/imagelist/image_rules.cpp").read_text()
    table = text[text.index("imageExtensions[kImageExtensionCount]"):]
    table = table[:table.index("};")]
    return re.findall(r'L"\.([a-z0-9]+)"', table)


def registration(root, extensions):
    """(key, value name, expected data) of everything the package registers under root."""
    classes = root + r"\Software\Classes"
    app = classes + r"\Applications\vistrel.exe"
    caps = root + r"\Software\Vistrel\Capabilities"
    entries = [
        (app, "FriendlyAppName", "Vistrel"),
        (app + r"\DefaultIcon", "", ICON),
        (app + r"\shell\open\command", "", OPEN_COMMAND),
        (caps, "ApplicationName", "Vistrel"),
        (caps, "ApplicationDescription", NONEMPTY),
        (caps, "ApplicationIcon", ICON),
        (root + r"\Software\RegisteredApplications", "Vistrel", r"Software\Vistrel\Capabilities"),
    ]
    for family in sorted(set(FAMILIES[e] for e in extensions if e in FAMILIES)):
        progid = classes + r"\Vistrel." + family
        entries += [(progid, "", NONEMPTY), (progid + r"\DefaultIcon", "", ICON),
                    (progid + r"\shell\open\command", "", OPEN_COMMAND)]
    for e in extensions:
        progid = "Vistrel." + FAMILIES.get(e, "?")
        entries += [(app + r"\SupportedTypes", "." + e, ""),
                    (classes + rf"\.{e}\OpenWithProgids", progid, ""),
                    (caps + r"\FileAssociations", "." + e, progid)]
    return entries


class Scenario:
    def __init__(self, args):
        self.source = Path(args.source).resolve()
        self.build = Path(args.build).resolve()
        self.version = args.version
        self.work = self.build / "install-test"
        self.prefix = self.work / "prefix"
        self.drive_c = self.prefix / "drive_c"
        self.msi = self.build / "dist" / f"vistrel-{self.version}-x64.msi"
        self.checks = Checks()
        self.extensions = image_extensions(self.source)
        self.started = time.monotonic()
        self.xvfb_pid = None
        self.env = None
        self.desktop = None

    def say(self, text):
        print(f"[{time.monotonic() - self.started:5.1f}s] {text}", flush=True)

    # --- Wine ---------------------------------------------------------------------------------

    def start_prefix(self):
        shutil.rmtree(self.work, ignore_errors=True)
        self.work.mkdir(parents=True)
        # A private Xvfb: the viewer this scenario starts never covers another test's screen.
        started = subprocess.run(
            ["bash", "-c", f'source "{self.source}/scripts/display.sh" && vistrel_xvfb && '
                           'echo "$DISPLAY $VISTREL_XVFB_PID"'],
            capture_output=True, text=True, check=True)
        display, pid = started.stdout.split()
        self.xvfb_pid = int(pid)
        # No winemenubuilder: the Start-menu shortcut must not turn into menu entries of this machine.
        self.env = dict(os.environ, WINEPREFIX=str(self.prefix), WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d", DISPLAY=display)
        subprocess.run([str(self.source / "cmake/wine-prefix.sh"), str(self.prefix)], env=self.env, check=True)
        # One server and one desktop for the rest of the scenario, so no wine command waits for
        # them; the desktop is started on its own, so that it holds none of our output pipes.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)
        self.desktop = subprocess.Popen(["wine", "explorer", "/desktop=Default,1600x1000"], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(2)

    def stop(self):
        if self.env is not None:
            subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
            subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)
        if self.desktop is not None:
            try:
                self.desktop.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.desktop.kill()
        if self.xvfb_pid is not None:
            try:
                os.kill(self.xvfb_pid, 15)
            except ProcessLookupError:
                pass

    def wine(self, *args, timeout=180):
        return subprocess.run(["wine", *args], env=self.env, capture_output=True, timeout=timeout,
                              text=True, errors="replace")

    @staticmethod
    def windows_path(path):
        """The path as Wine's Z: drive (the Unix root) shows it."""
        return "Z:" + str(Path(path).resolve()).replace("/", "\\")

    def msiexec(self, what, *args):
        log = self.work / f"msiexec-{what}.log"
        done = self.wine("msiexec", *args, "/qn", "/l*v", self.windows_path(log))
        if not self.checks.expect(f"msiexec {what} exit code", 0, done.returncode) and log.exists():
            print(log.read_bytes().decode("utf-8", errors="replace")[-3000:])

    def export_registry(self, name):
        """HKLM\\Software and HKCU\\Software: every place the package may write."""
        text = ""
        for root in ("HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"):
            path = self.work / f"{name}-{root}.reg"
            self.wine("regedit", "/E", self.windows_path(path), root + r"\Software")
            text += path.read_text(encoding="utf-16", errors="replace") if path.exists() else ""
        return Registry(text)

    # --- checks -------------------------------------------------------------------------------

    def expect_registered(self, registry, root):
        for key, name, data in registration(root, self.extensions):
            self.checks.expect(f"{key}\\{name or '(default)'}", data, registry.get(key, name))
        # Exactly the listing's extensions, no more.
        expected = sorted("." + e for e in self.extensions)
        for key in (r"\Software\Classes\Applications\vistrel.exe\SupportedTypes",
                    r"\Software\Vistrel\Capabilities\FileAssociations"):
            self.checks.expect(f"value names of {root}{key}", expected, sorted(registry.values(root + key)))

    def expect_not_registered(self, registry, root):
        for key, name, _ in registration(root, self.extensions):
            self.checks.expect(f"{key}\\{name or '(default)'}", None, registry.get(key, name))

    def expect_others_kept(self, registry, before):
        for e in self.extensions:
            key = rf"HKEY_LOCAL_MACHINE\Software\Classes\.{e}"
            self.checks.expect(f"{key}\\(default), never written", before.get(key), registry.get(key))
        e, progid = OTHER_OPEN_WITH
        key = rf"HKEY_LOCAL_MACHINE\Software\Classes\.{e}\OpenWithProgids"
        self.checks.expect(f"{key}\\{progid}", "", registry.get(key, progid))

    def expect_same_registry(self, what, before, after):
        def kept(line):
            return not line.lower().startswith(IGNORED)
        added = sorted(filter(kept, after.lines() - before.lines()))
        removed = sorted(filter(kept, before.lines() - after.lines()))
        self.checks.expect(f"registry lines naming Vistrel left {what}", [],
                           sorted(line for line in after.lines() if "vistrel" in line.lower()))
        self.checks.expect(f"registry keys and values added and left {what} (first 20)", [], added[:20])
        self.checks.expect(f"registry keys and values lost {what} (first 20)", [], removed[:20])

    def shortcuts(self):
        links = self.drive_c.glob("**/Start Menu/Programs/Vistrel.lnk")
        return sorted(str(p.relative_to(self.drive_c)) for p in links)

    def expect_installed_files(self):
        exe = self.drive_c / "Program Files/Vistrel/vistrel.exe"
        built = self.build / "bin/vistrel.exe"
        same = exe.is_file() and exe.read_bytes() == built.read_bytes()
        self.checks.expect(f"{exe} identical to {built}", True, same)
        # The HEIF libraries beside it, as built (replaceable), and their licences, as shipped.
        for dll in ("libheif.dll", "libde265.dll"):
            installed, made = self.drive_c / "Program Files/Vistrel" / dll, self.build / "bin" / dll
            self.checks.expect(f"{installed} identical to {made}", True,
                               installed.is_file() and installed.read_bytes() == made.read_bytes())
        for name, package in (("libheif", "libheif-1.15.1"), ("libde265", "libde265-1.0.11")):
            licence = self.drive_c / f"Program Files/Vistrel/COPYING.{name}.txt"
            source = self.source / "build/deps" / package / "COPYING"
            text = licence.read_bytes().replace(b"\r\n", b"\n") if licence.is_file() else None
            self.checks.expect(f"{licence} holding {source}", source.read_bytes(), text)
        # Windows puts a per-machine shortcut in the common Start menu; Wine 8 puts it in the user's.
        shortcuts = self.shortcuts()
        if self.checks.expect("Start-menu shortcuts named Vistrel", 1, len(shortcuts)):
            link = (self.drive_c / shortcuts[0]).read_bytes()
            self.checks.expect(f"{shortcuts[0]} pointing to vistrel.exe", True,
                               b"vistrel.exe" in link or "vistrel.exe".encode("utf-16-le") in link)

    def expect_removed_files(self):
        self.checks.expect("Program Files\\Vistrel after uninstall", False,
                           (self.drive_c / "Program Files/Vistrel").exists())
        self.checks.expect("Start-menu shortcuts after uninstall", [], self.shortcuts())

    def expect_opens(self, registered_class, sample):
        what = f"opening {sample} through {registered_class}"
        self.say(what)
        tool = self.windows_path(self.build / "bin/open_registered.exe")
        done = self.wine(tool, registered_class, self.windows_path(self.source / "samples" / sample), timeout=90)
        lines = dict(line.split(": ", 1) for line in done.stdout.splitlines() if ": " in line)
        self.checks.expect(f"{what}: exit code (stderr {done.stderr.strip()!r})", 0, done.returncode)
        self.checks.expect(f"{what}: program", INSTALLED_EXE.lower(), lines.get("program", "").lower())
        self.checks.expect(f"{what}: title", f"Vistrel - {sample}", lines.get("title"))

    def expect_product_version(self, registry):
        uninstall = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall"
        products = [path for path, _ in registry.keys.values() if path.lower().startswith(uninstall.lower() + "\\")]
        versions = [registry.get(p, "DisplayVersion") for p in products if registry.get(p, "DisplayName") == "Vistrel"]
        self.checks.expect("DisplayVersion of the installed Vistrel", [self.version], versions)

    # --- the scenario -------------------------------------------------------------------------

    def run(self):
        self.checks.expect("lower-case extensions in imageExtensions without a type family here", [],
                           [e for e in self.extensions if e not in FAMILIES])
        if not self.checks.expect(f"{self.msi} built (cmake --build --preset windows --target dist)", True,
                                  self.msi.is_file()):
            return
        self.say("making a fresh Wine prefix")
        self.start_prefix()
        e, progid = OTHER_DEFAULT
        self.wine("reg", "add", rf"HKLM\Software\Classes\.{e}", "/ve", "/d", progid, "/f")
        e, progid = OTHER_OPEN_WITH
        self.wine("reg", "add", rf"HKLM\Software\Classes\.{e}\OpenWithProgids", "/v", progid, "/d", "", "/f")
        settings = self.drive_c / "ProgramData/vistrel.settings"
        before = self.export_registry("before")
        self.checks.expect("default value of .png before the install", OTHER_DEFAULT[1],
                           before.get(r"HKEY_LOCAL_MACHINE\Software\Classes\.png"))

        self.say("per-machine install")
        self.msiexec("install", "/i", self.windows_path(self.msi))
        self.expect_installed_files()
        installed = self.export_registry("installed")
        self.expect_registered(installed, "HKEY_LOCAL_MACHINE")
        self.expect_others_kept(installed, before)
        self.expect_product_version(installed)

        self.expect_opens("Vistrel.JPEG", "1.jpg")
        self.expect_opens(r"Applications\vistrel.exe", "3-alpha.png")
        kept = settings.read_bytes() if settings.exists() else None
        self.checks.expect("size of the settings file the viewer wrote at close", 24, len(kept or b""))

        self.say("uninstall")
        self.msiexec("uninstall", "/x", self.windows_path(self.msi))
        self.expect_removed_files()
        self.checks.expect("settings file kept by the uninstall", kept,
                           settings.read_bytes() if settings.exists() else None)
        self.expect_same_registry("by the per-machine install", before, self.export_registry("uninstalled"))

        self.say("per-user install")
        self.msiexec("install-per-user", "/i", self.windows_path(self.msi), 'ALLUSERS=""')
        installed = self.export_registry("installed-per-user")
        self.expect_registered(installed, "HKEY_CURRENT_USER")
        self.expect_not_registered(installed, "HKEY_LOCAL_MACHINE")

        self.say("uninstall with REMOVESETTINGS=1")
        self.msiexec("uninstall-per-user", "/x", self.windows_path(self.msi), 'ALLUSERS=""', "REMOVESETTINGS=1")
        self.expect_removed_files()
        self.checks.expect("settings file after an uninstall with REMOVESETTINGS=1", False, settings.exists())
        self.expect_same_registry("by the per-user install", before, self.export_registry("uninstalled-per-user"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--version", required=True)
    scenario = Scenario(parser.parse_args())
    try:
        scenario.run()
    finally:
        scenario.stop()
    checks = scenario.checks
    scenario.say(f"installer scenario: {checks.count} checks, {checks.failed} failures")
    if checks.failed == 0:
        shutil.rmtree(scenario.work, ignore_errors=True)
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
