"""Writes each code block of a Markdown file that names its file on its first
line ("# CMakeLists.txt", "/* app.c: ...", "// app.cpp: ...", "# app.py: ...")
into that file in OUT_DIR, and lists the names. Usage: readme_blocks.py README OUT_DIR"""
import os
import re
import sys

NAME = re.compile(r"^(?:#|//|/\*)\s*([\w.]+\.(?:c|cpp|py|txt))\b")

def main():
    readme, out_dir = sys.argv[1], sys.argv[2]
    text = open(readme, encoding="utf-8").read()
    names = []
    for block in re.findall(r"^```\w*\n(.*?)^```", text, re.S | re.M):
        match = NAME.match(block)
        if match:
            name = match.group(1)
            if name in names:
                sys.exit(f"{readme}: two blocks named {name}")
            with open(os.path.join(out_dir, name), "w", encoding="utf-8") as f:
                f.write(block)
            names.append(name)
    print(" ".join(names))

main()
