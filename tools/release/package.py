#!/usr/bin/python3
"""Packs the release archives from built trees.

Each tree is installed with `cmake --install` into a staging folder: every
plug-in format the build made has its own install rule, so whatever formats
a tree produced end up in its archive without edits here. The manual, the
licence and the install notes are added, and on Linux install.sh and
uninstall.sh. Archives are reproducible: sorted entries, one fixed time
(SOURCE_DATE_EPOCH), fixed owners and modes, no gzip timestamp.

  package.py --version V --out DIR --manual FILE --docs DIR --scripts DIR
             [--epoch SECONDS] SYSTEM=BUILD_DIR ...

SYSTEM is linux-x86_64, linux-aarch64, windows-x64 or windows-x86.
"""
import argparse
import gzip
import hashlib
import io
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import time
import zipfile

def stage_tree(build, stage):
    subprocess.run(["cmake", "--install", build, "--prefix", stage], check=True, stdout=subprocess.DEVNULL)


def files_under(root):
    found = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(folder, name)
            found.append(os.path.relpath(path, root))
    return sorted(found)


def is_executable(path):
    return os.access(path, os.X_OK) and not os.path.isdir(path)


def write_zip(path, root, top, epoch):
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip cannot hold times before 1980
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for rel in files_under(root):
            info = zipfile.ZipInfo(top + "/" + rel.replace(os.sep, "/"), date_time=stamp)
            info.create_system = 3  # unix, so the modes below count
            info.external_attr = (0o100755 if is_executable(os.path.join(root, rel)) else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(root, rel), "rb") as f:
                z.writestr(info, f.read())


def write_tar_gz(path, root, top, epoch):
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as t:
        dirs = set()
        for rel in files_under(root):
            parts = rel.split(os.sep)[:-1]
            for i in range(len(parts) + 1):
                dirs.add("/".join(parts[:i]))
        entries = [(d, True) for d in dirs] + [(rel.replace(os.sep, "/"), False) for rel in files_under(root)]
        for rel, is_dir in sorted(entries):
            name = top + ("/" + rel if rel else "")
            info = tarfile.TarInfo(name)
            info.mtime = epoch
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            if is_dir:
                info.type = tarfile.DIRTYPE
                info.mode = 0o755
                t.addfile(info)
            else:
                full = os.path.join(root, rel)
                info.mode = 0o755 if is_executable(full) else 0o644
                info.size = os.path.getsize(full)
                with open(full, "rb") as f:
                    t.addfile(info, f)
    with open(path, "wb") as out:
        with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0, compresslevel=9) as g:
            g.write(raw.getvalue())


def write_sums(out):
    """SHA256SUMS over every file in OUT: the archives and whatever the
    installer builders wrote beside them."""
    names = sorted(n for n in os.listdir(out) if n != "SHA256SUMS" and os.path.isfile(os.path.join(out, n)))
    with open(os.path.join(out, "SHA256SUMS"), "w") as sums:
        for name in names:
            with open(os.path.join(out, name), "rb") as f:
                sums.write(f"{hashlib.sha256(f.read()).hexdigest()}  {name}\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--version", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--manual", required=True)
    ap.add_argument("--docs", required=True)
    ap.add_argument("--scripts", required=True)
    ap.add_argument("--epoch", type=int, default=int(os.environ.get("SOURCE_DATE_EPOCH", "0")))
    ap.add_argument("trees", nargs="+", metavar="SYSTEM=BUILD_DIR")
    a = ap.parse_args()

    os.makedirs(a.out, exist_ok=True)
    archives = []
    for tree in a.trees:
        system, _, build = tree.partition("=")
        if not os.path.isdir(build):
            sys.exit(f"package: no build tree {build} for {system}")
        top = f"Veltrane-{a.version}-{system}"
        with tempfile.TemporaryDirectory() as tmp:
            stage = os.path.join(tmp, top)
            stage_tree(build, stage)
            if not any(os.path.isdir(os.path.join(stage, f)) for f in ("vst", "vst3", "clap", "lv2")):
                sys.exit(f"package: {build} installed no plug-in")
            shutil.copyfile(a.manual, os.path.join(stage, "Veltrane-Manual.html"))
            newline = "\r\n" if system.startswith("windows") else "\n"
            for source, target in (("LICENCE.txt", "LICENCE.txt"), ("installing.md", "install.txt")):
                with open(os.path.join(a.docs, source), encoding="utf-8") as f:
                    text = f.read()
                with open(os.path.join(stage, target), "w", encoding="utf-8", newline=newline) as f:
                    f.write(text)
            if system.startswith("linux"):
                for script in ("install.sh", "uninstall.sh"):
                    shutil.copyfile(os.path.join(a.scripts, script), os.path.join(stage, script))
                    os.chmod(os.path.join(stage, script), 0o755)
            if system.startswith("windows"):
                name = top + ".zip"
                write_zip(os.path.join(a.out, name), stage, top, a.epoch)
            else:
                name = top + ".tar.gz"
                write_tar_gz(os.path.join(a.out, name), stage, top, a.epoch)
            archives.append(name)
    write_sums(a.out)
    for name in sorted(archives):
        print(f"{os.path.getsize(os.path.join(a.out, name)):>10}  {a.out}/{name}")


if __name__ == "__main__":
    main()
