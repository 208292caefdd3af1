"""Writes each code block of a Markdown file that names its file on its first
line ("# CMakeLists.txt", "/* app.c: ...", "// app.cpp: ...", "# app.py: ...")
into that file in OUT_DIR, and every other C block into snippet-N.c (N its
line in the file), and lists the names. Usage: readme_blocks.py README OUT_DIR"""
import os
import re
import sys

NAME = re.compile(r"^(?:#|//|/\*)\s*([\w.]+\.(?:c|cpp|py|txt))\b")

def main():
    readme, out_dir = sys.argv[1], sys.argv[2]
    text = open(readme, encoding="utf-8").read()
    names = []
    for found in re.finditer(r"^```(\w*)\n(.*?)^```", text, re.S | re.M):
        language, block = found.group(1), found.group(2)
        match = NAME.match(block)
        name = None
        if match:
            name = match.group(1)
        elif language == "c":
            name = "snippet-%d.c" % (text.count("\n", 0, found.start()) + 1)
        if name:
            if name in names:
                sys.exit(f"{readme}: two blocks named {name}")
            with open(os.path.join(out_dir, name), "w", encoding="utf-8") as f:
                f.write(block)
            names.append(name)
    print(" ".join(names))

main()
