#!/usr/bin/python3
"""Writes the user manual as one HTML file with its pictures inside.

The text comes from docs/manual/ (Markdown); the parameter and program
tables, the version and the panel picture come from the plug-in itself
(veltrane-manual-assets), the spectrograms from veltrane-render. A
parameter or program without a description, or a description without a
parameter or program, stops the build: the manual must match the plug-in.

  make_manual.py --docs docs/manual --assets DIR --out FILE.html
"""
import argparse
import base64
import html
import json
import os
import re
import sys

import markdown


def descriptions(path):
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            name, _, text = line.partition(" | ")
            table[name] = text
    return table


def check_same(kind, have, described):
    missing = [n for n in have if n not in described]
    extra = [n for n in described if n not in have]
    if missing or extra:
        sys.exit(f"make_manual: {kind} without a description: {missing}; descriptions of no {kind}: {extra}")


def image(path, alt, width=None):
    with open(path, "rb") as f:
        data = base64.b64encode(f.read()).decode("ascii")
    size = f' width="{width}"' if width else ""
    return f'<img src="data:image/png;base64,{data}" alt="{html.escape(alt)}"{size}>'


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--docs", required=True)
    ap.add_argument("--assets", required=True)
    ap.add_argument("--out", required=True)
    a = ap.parse_args()

    with open(os.path.join(a.assets, "facts.json"), encoding="utf-8") as f:
        facts = json.load(f)
    params = descriptions(os.path.join(a.docs, "parameters.txt"))
    programs = descriptions(os.path.join(a.docs, "programs.txt"))
    check_same("parameter", [p["name"] for p in facts["parameters"]], params)
    check_same("program", facts["programs"], programs)

    rows = ["| parameter | range | default | what you hear |", "|---|---|---|---|"]
    for p in facts["parameters"]:
        shown = " / ".join(p["values"]) if p["values"] else f'{p["shownMinimum"]} to {p["shownMaximum"]}'
        rows.append(f'| {p["name"]} | {shown} | {p["shownDefault"]} | {params[p["name"]]} |')
    program_rows = ["| # | program | |", "|---|---|---|"]
    for i, name in enumerate(facts["programs"]):
        program_rows.append(f"| {i:02d} | {name} | {programs[name]} |")

    def read(name):
        with open(os.path.join(a.docs, name), encoding="utf-8") as f:
            return f.read()

    panels = [image(os.path.join(a.assets, "panel.png"), "The Veltrane editor", 584)]
    large = os.path.join(a.assets, "panel@2x.png")
    if os.path.exists(large):
        panels.append("\n\nAt twice the size, as on a high-resolution screen:\n\n" +
                      image(large, "The Veltrane editor at 2x", 1168))
    spectra = []
    for name, caption in (("spectrum-plus250", "A +250 Hz shift: every line of the input moves up by the same 250 Hz."),
                          ("spectrum-sweep", "The triangle LFO sweeping the shift: lines bend together.")):
        path = os.path.join(a.assets, name + ".png")
        if os.path.exists(path):
            spectra.append(image(path, caption) + f"\n\n*{caption}*")
    licence = "<pre>" + html.escape(read("LICENCE.txt")) + "</pre>"

    text = read("manual.md")
    replacements = {
        "{{VERSION}}": facts["version"],
        "{{PARAMETERS}}": "\n".join(rows),
        "{{PROGRAMS}}": "\n".join(program_rows),
        "{{INSTALL}}": read("installing.md"),
        "{{PANEL}}": "".join(panels),
        "{{SPECTROGRAMS}}": "\n\n".join(spectra),
        "{{LICENCE}}": licence,
    }
    for key, value in replacements.items():
        text = text.replace(key, value)
    left = re.findall(r"\{\{[A-Z]+\}\}", text)
    if left:
        sys.exit(f"make_manual: unknown placeholders {left}")
    body = markdown.markdown(text, extensions=["tables", "fenced_code"])
    page = f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<title>Quorvel Veltrane {html.escape(facts["version"])}: manual</title>
<style>
body {{ font-family: sans-serif; max-width: 60em; margin: 2em auto; padding: 0 1em; line-height: 1.45; color: #222; }}
table {{ border-collapse: collapse; margin: 1em 0; }}
th, td {{ border: 1px solid #bbb; padding: 0.3em 0.6em; vertical-align: top; text-align: left; }}
code, pre {{ background: #f4f4f4; }}
pre {{ padding: 0.6em; overflow-x: auto; }}
img {{ max-width: 100%; height: auto; }}
</style></head><body>
{body}
</body></html>
"""
    with open(a.out, "w", encoding="utf-8") as f:
        f.write(page)


if __name__ == "__main__":
    main()
