#!/usr/bin/env python3
"""Splits the peak heap of a massif profile by layer.

Each allocation counts for the first frame, walking out from malloc, that is
in the project: src/<layer>/ (outlook/memory/ apart: the stand-in's model),
or host/. Usage: heap_by_layer.py MASSIF_OUT  -> "layer bytes" lines, then
"core BYTES" and "stand-in BYTES".
"""
import re
import sys

FRAME = re.compile(r"^( *)n(\d+): (\d+) (.*)$")


def layer_of(text):
    if "/src/outlook/memory/" in text or "/host/" in text:
        return "stand-in"
    match = re.search(r"/src/(\w+)/", text)
    return match.group(1) if match else None


def peak_tree(lines):
    start = None
    for i, line in enumerate(lines):
        if line.startswith("heap_tree=peak"):
            start = i + 1
    if start is None:
        for i, line in enumerate(lines):  # no peak marked: the last detailed one
            if line.startswith("heap_tree=detailed"):
                start = i + 1
    return lines[start:] if start is not None else []


def main():
    lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
    tree = peak_tree(lines)
    totals = {}
    # Walk in order: a node's layer is its own or the nearest caller's above it.
    stack = []  # (depth, layer or None)
    for line in tree:
        match = FRAME.match(line)
        if not match:
            break
        depth, children, size, text = len(match.group(1)), int(match.group(2)), int(match.group(3)), match.group(4)
        while stack and stack[-1][0] >= depth:
            stack.pop()
        inherited = next((layer for _, layer in reversed(stack) if layer), None)
        layer = inherited or layer_of(text)
        stack.append((depth, layer))
        if depth == 0:
            continue
        if children == 0:  # a leaf holds its bytes; inner nodes are sums
            totals[layer or "other"] = totals.get(layer or "other", 0) + size
    core_layers = ["base", "ui", "api", "outlook", "login", "read", "send", "addin", "com"]
    for name in sorted(totals, key=lambda k: -totals[k]):
        print(f"{name} {totals[name]}")
    print(f"core {sum(totals.get(k, 0) for k in core_layers)}")
    print(f"stand-in {totals.get('stand-in', 0)}")


if __name__ == "__main__":
    main()
