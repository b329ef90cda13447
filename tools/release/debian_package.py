#!/usr/bin/python3
"""Builds the Debian package veltrane_<version>-<revision>_<arch>.deb from
each built Linux tree given (the architecture is read from its plug-in).

The tree is installed with `cmake --install` into a staging folder and laid
out where Debian's hosts look: /usr/lib/{vst,vst3,clap,lv2}, veltrane-render
in /usr/bin with its manual page, the factory bank in /usr/share/veltrane,
the manual, copyright and changelog.Debian.gz in /usr/share/doc/veltrane.
Binaries are stripped as Debian's own packages are; Depends comes from
dpkg-shlibdeps (libcurl, which the version check loads only when it runs,
and the editor's font are recommended). The package is reproducible: every
time is the release's (SOURCE_DATE_EPOCH), owners are root (dpkg-deb
--root-owner-group), modes fixed, the gzipped files without name or time.

  debian_package.py --version V --out DIR --manual FILE --docs DIR
                    [--revision N] [--epoch SECONDS] BUILD_DIR ...
"""
import argparse
import email.utils
import gzip
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import package

NAME = "veltrane"
MAINTAINER = "Quorvel <veltrane@quorvel.com>"
# ELF e_machine: the Debian architecture and the GNU triplet of its tools.
MACHINES = {62: ("amd64", "x86_64-linux-gnu"), 183: ("arm64", "aarch64-linux-gnu")}
# Where each folder the tree installs goes in the system.
LAYOUT = {"vst": "usr/lib/vst", "vst3": "usr/lib/vst3", "clap": "usr/lib/clap", "lv2": "usr/lib/lv2",
          "bin": "usr/bin", "Veltrane-factory.fxb": "usr/share/veltrane/Veltrane-factory.fxb"}
DESCRIPTION = """\
stereo frequency shifter plug-in (VST3, CLAP, LV2, VST 2.4)
 Quorvel Veltrane shifts each channel of a stereo signal in frequency by its
 own number of hertz, mixed with a selectable dry signal. The shift sweeps
 between a minimum and a maximum under a low-frequency oscillator with five
 waveforms that can follow the host's tempo. It comes with 32 factory
 programs and an editor window.
 .
 This package installs the plug-in for every Linux host: VST3 in
 /usr/lib/vst3, CLAP in /usr/lib/clap, LV2 in /usr/lib/lv2 and VST 2.4 in
 /usr/lib/vst, and veltrane-render, which renders audio files through it."""


def elf_header(path):
    with open(path, "rb") as f:
        head = f.read(20)
    if len(head) < 20 or head[:4] != b"\x7fELF":
        return None
    return int.from_bytes(head[16:18], "little"), int.from_bytes(head[18:20], "little")  # e_type, e_machine


def files_and_dirs(root):
    found = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        found += [(os.path.join(folder, d), True) for d in dirs]
        found += [(os.path.join(folder, f), False) for f in sorted(files)]
    return found


def copyright_text(docs, epoch):
    with open(os.path.join(docs, "LICENCE.txt"), encoding="utf-8") as f:
        licence = [line.rstrip() for line in f.read().strip().splitlines()]
    body = "\n".join(" " + line if line else " ." for line in licence)
    return f"""Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quorvel Veltrane
Upstream-Contact: {MAINTAINER}
Source: http://www.quorvel.com

Files: *
Copyright: {time.gmtime(epoch).tm_year} Quorvel
License: Quorvel-Veltrane
{body}
"""


def changelog_text(version, epoch):
    date = email.utils.formatdate(epoch, localtime=False).replace("-0000", "+0000")
    return f"""{NAME} ({version}) unstable; urgency=medium

  * Quorvel Veltrane {version.rsplit('-', 1)[0]}.

 -- {MAINTAINER}  {date}
"""


def shlib_depends(src, binaries, arch):
    # dpkg-shlibdeps reads debian/control of the folder it runs in; the
    # architecture's libraries are those of its multiarch folders.
    env = dict(os.environ, DEB_HOST_ARCH=arch)
    out = subprocess.run(["dpkg-shlibdeps", "-O"] + [f"-e{b}" for b in binaries], cwd=src, env=env,
                         check=True, capture_output=True, text=True)
    sys.stderr.write(out.stderr)
    for line in out.stdout.splitlines():
        if line.startswith("shlibs:Depends="):
            return line.split("=", 1)[1]
    sys.exit("debian_package: dpkg-shlibdeps found no libraries")


def build_one(build, a, tmp):
    stage = os.path.join(tmp, "stage")
    package.stage_tree(build, stage)
    plugin = os.path.join(stage, "vst", "Veltrane.so")
    header = elf_header(plugin) if os.path.isfile(plugin) else None
    if header is None or header[1] not in MACHINES:
        sys.exit(f"debian_package: {build} installed no Linux plug-in of a known architecture")
    arch, triplet = MACHINES[header[1]]
    version = f"{a.version}-{a.revision}"

    src = os.path.join(tmp, "src")
    root = os.path.join(src, "debian", NAME)
    for entry in sorted(os.listdir(stage)):
        if entry not in LAYOUT:
            sys.exit(f"debian_package: {build} installs {entry}, which has no place in the package")
        target = os.path.join(root, LAYOUT[entry])
        os.makedirs(os.path.dirname(target), exist_ok=True)
        (shutil.copytree if os.path.isdir(os.path.join(stage, entry)) else shutil.copyfile)(
            os.path.join(stage, entry), target)
    doc = os.path.join(root, "usr/share/doc", NAME)
    os.makedirs(doc)
    shutil.copyfile(a.manual, os.path.join(doc, "Veltrane-Manual.html"))
    with open(os.path.join(doc, "copyright"), "w", encoding="utf-8") as f:
        f.write(copyright_text(a.docs, a.epoch))
    man = os.path.join(root, "usr/share/man/man1")
    os.makedirs(man)
    with open(os.path.join(a.docs, "veltrane-render.1"), "rb") as page:
        with open(os.path.join(man, "veltrane-render.1.gz"), "wb") as out:
            with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9) as g:
                g.write(page.read())
    with open(os.path.join(doc, "changelog.Debian.gz"), "wb") as out:
        with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9) as g:
            g.write(changelog_text(version, a.epoch).encode())

    # Stripped as dh_strip does: programs keep their symbols for linking,
    # plug-ins only what they export.
    strip = shutil.which(f"{triplet}-strip") or "strip"
    binaries = []
    for path, is_dir in files_and_dirs(root):
        if is_dir:
            os.chmod(path, 0o755)
            continue
        program = os.path.relpath(path, root).startswith("usr/bin/")
        os.chmod(path, 0o755 if program else 0o644)
        if elf_header(path) is not None:
            options = ["--remove-section=.comment", "--remove-section=.note"]
            subprocess.run([strip] + options + ([] if program else ["--strip-unneeded"]) + [path], check=True)
            binaries.append(os.path.relpath(path, src))
    control = os.path.join(root, "DEBIAN")
    os.makedirs(control)  # how dpkg-shlibdeps knows the package's root
    with open(os.path.join(src, "debian", "control"), "w") as f:
        f.write(f"Source: {NAME}\nMaintainer: {MAINTAINER}\n\nPackage: {NAME}\nArchitecture: any\n")
    depends = shlib_depends(src, binaries, arch)

    entries = files_and_dirs(root)
    # As dpkg-gencontrol counts: KiB per file rounded up, one per folder.
    size = sum(1 if d else (os.path.getsize(p) + 1023) // 1024 for p, d in entries if not p.startswith(control))
    with open(os.path.join(control, "md5sums"), "w") as f:
        for path, is_dir in entries:
            if not is_dir and not path.startswith(control):
                with open(path, "rb") as data:
                    f.write(f"{hashlib.md5(data.read()).hexdigest()}  {os.path.relpath(path, root)}\n")
    with open(os.path.join(control, "control"), "w") as f:
        f.write(f"""Package: {NAME}
Version: {version}
Architecture: {arch}
Maintainer: {MAINTAINER}
Installed-Size: {size}
Depends: {depends}
Recommends: fonts-liberation2, libcurl4
Section: non-free/sound
Priority: optional
Homepage: http://www.quorvel.com
Description: {DESCRIPTION}
""")
    for path, is_dir in files_and_dirs(control):
        os.chmod(path, 0o755 if is_dir else 0o644)
    os.chmod(control, 0o755)
    for path, _ in files_and_dirs(root) + [(root, True)]:
        os.utime(path, (a.epoch, a.epoch), follow_symlinks=False)

    name = f"{NAME}_{version}_{arch}.deb"
    subprocess.run(["dpkg-deb", "--root-owner-group", "-Zxz", "--build", root, os.path.join(a.out, name)],
                   check=True, stdout=subprocess.DEVNULL, env=dict(os.environ, SOURCE_DATE_EPOCH=str(a.epoch)))
    return name


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--version", required=True)
    ap.add_argument("--revision", default="1")
    ap.add_argument("--out", required=True)
    ap.add_argument("--manual", required=True)
    ap.add_argument("--docs", required=True)
    ap.add_argument("--epoch", type=int, default=int(os.environ.get("SOURCE_DATE_EPOCH", "0")))
    ap.add_argument("builds", nargs="+", metavar="BUILD_DIR")
    a = ap.parse_args()
    os.umask(0o022)
    os.makedirs(a.out, exist_ok=True)
    names = []
    for build in a.builds:
        if not os.path.isdir(build):
            sys.exit(f"debian_package: no build tree {build}")
        with tempfile.TemporaryDirectory() as tmp:
            names.append(build_one(build, a, tmp))
    package.write_sums(a.out)
    for name in names:
        print(f"{os.path.getsize(os.path.join(a.out, name)):>10}  {a.out}/{name}")


if __name__ == "__main__":
    main()
