#!/usr/bin/python3
"""Builds the Windows installer, Veltrane-<version>-windows-setup.exe, with
makensis from the built Windows trees.

Each tree is installed with `cmake --install` into a staging folder, as for
the archives; every plug-in folder it holds (vst, vst3, clap) becomes one
component of the installer, with the manual, the factory bank and the
licence as one more. tools/release/Veltrane.nsi is the installer; this
writes the file lists it includes, sorted, with every staged file at the
release's time (SOURCE_DATE_EPOCH), so the same trees give the same bytes.

  windows_installer.py --version V --out DIR --manual FILE --docs DIR
                       [--target x86-unicode|amd64-unicode] [--epoch SECONDS]
                       SYSTEM=BUILD_DIR ...

SYSTEM is windows-x64 or windows-x86; either may be left out.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import package

TREES = {"windows-x64": "win64", "windows-x86": "win32"}
# Each plug-in folder of a tree and the installer variable naming its destination.
DESTINATIONS = {
    ("win64", "vst3"): "$Vst3Dir64",
    ("win64", "clap"): "$ClapDir64",
    ("win64", "vst"): "$Vst2Dir64",
    ("win32", "vst3"): "$Vst3Dir32",
    ("win32", "clap"): "$ClapDir32",
    ("win32", "vst"): "$Vst2Dir32",
}


def nsis_text(text):
    # Staged names go into the script between double quotes.
    if any(c in text for c in '"`$\r\n'):
        sys.exit(f"windows_installer: cannot put {text!r} into the installer script")
    return text


def component_macro(name, root, destination):
    """The macro installing the folder tree ROOT into DESTINATION."""
    lines = [f"!macro Files_{name}"]
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(folder, root)
        target = destination if rel == "." else destination + "\\" + nsis_text(rel.replace(os.sep, "\\"))
        if rel != ".":
            lines.append(f'  !insertmacro Folder "{target}"')
        for f in sorted(files):
            source = nsis_text(os.path.join(folder, f))
            lines.append(f'  !insertmacro Put "{target}" "{nsis_text(f)}" "{source}"')
    lines.append("!macroend")
    return lines


def set_times(root, epoch):
    for folder, dirs, files in os.walk(root):
        for f in files:
            os.utime(os.path.join(folder, f), (epoch, epoch))
    os.utime(root, (epoch, epoch))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--version", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--manual", required=True)
    ap.add_argument("--docs", required=True)
    ap.add_argument("--script", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "Veltrane.nsi"))
    # x86 runs on every Windows; amd64 where 32-bit programs cannot run.
    ap.add_argument("--target", default="x86-unicode", choices=["x86-unicode", "amd64-unicode"])
    ap.add_argument("--epoch", type=int, default=int(os.environ.get("SOURCE_DATE_EPOCH", "0")))
    ap.add_argument("trees", nargs="+", metavar="SYSTEM=BUILD_DIR")
    a = ap.parse_args()
    if shutil.which("makensis") is None:
        sys.exit("windows_installer: makensis is not installed (Debian package nsis)")

    os.makedirs(a.out, exist_ok=True)
    name = f"Veltrane-{a.version}-windows-setup.exe"
    with tempfile.TemporaryDirectory() as tmp:
        script = [f"; Written by {os.path.basename(__file__)} from the staged release trees."]
        bank = None
        for tree in a.trees:
            system, _, build = tree.partition("=")
            if system not in TREES:
                sys.exit(f"windows_installer: {system} is not one of {', '.join(TREES)}")
            if not os.path.isdir(build):
                sys.exit(f"windows_installer: no build tree {build} for {system}")
            key = TREES[system]
            stage = os.path.join(tmp, key)
            package.stage_tree(build, stage)
            for fmt in sorted(os.listdir(stage)):
                if (key, fmt) in DESTINATIONS and os.path.isdir(os.path.join(stage, fmt)):
                    script.append(f"!define HAVE_{key}_{fmt}")
                    script += component_macro(f"{key}_{fmt}", os.path.join(stage, fmt), DESTINATIONS[key, fmt])
            bank = bank or os.path.join(stage, "Veltrane-factory.fxb")
        if not any(line.startswith("!define HAVE_") for line in script):
            sys.exit("windows_installer: the trees installed no plug-in")

        docs = os.path.join(tmp, "docs")
        os.makedirs(docs)
        shutil.copyfile(a.manual, os.path.join(docs, "Veltrane-Manual.html"))
        shutil.copyfile(bank, os.path.join(docs, "Veltrane-factory.fxb"))
        with open(os.path.join(a.docs, "LICENCE.txt"), encoding="utf-8") as f:
            text = f.read()
        with open(os.path.join(docs, "LICENCE.txt"), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(text)
        script += component_macro("docs", docs, "$INSTDIR")

        for key in TREES.values():
            if os.path.isdir(os.path.join(tmp, key)):
                set_times(os.path.join(tmp, key), a.epoch)
        set_times(docs, a.epoch)
        files = os.path.join(tmp, "files.nsh")
        with open(files, "w", encoding="utf-8") as f:
            f.write("\n".join(script) + "\n")

        out = os.path.join(os.path.abspath(a.out), name)
        # -NOCONFIG: this machine's nsisconf.nsh stays out of the bytes.
        subprocess.run(["makensis", "-NOCONFIG", "-V2", "-INPUTCHARSET", "UTF8",
                        f"-DTARGET={a.target}", f"-DVERSION={a.version}", f"-DFILES={files}",
                        f"-DLICENCE={os.path.join(docs, 'LICENCE.txt')}", f"-DOUTFILE={out}", a.script],
                       check=True, env=dict(os.environ, SOURCE_DATE_EPOCH=str(a.epoch), LC_ALL="C.UTF-8"))
    package.write_sums(a.out)
    print(f"{os.path.getsize(os.path.join(a.out, name)):>10}  {a.out}/{name}")


if __name__ == "__main__":
    main()
