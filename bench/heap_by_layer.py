#!/usr/bin/env python3
"""Splits the heap of a massif profile by layer.

Each allocation counts for the first frame, walking out from malloc, whose
source file is the project's: a file under src/<layer>/ counts for that layer
(src/outlook/memory/ apart: the stand-in's model), one under host/ for the
stand-in. Massif names a frame's file without its folder, so the folder is
found from the tree (file names are unique in it).

Usage: heap_by_layer.py MASSIF_OUT  (profiled with --detailed-freq=1 so that
every snapshot has its tree). Prints "layer bytes" lines for the heap at its
peak, then "core BYTES" and "stand-in BYTES" at that peak, then
"core-max BYTES" and "stand-in-max BYTES": the most each side held at any
snapshot.
"""
import os
import re
import sys

FRAME = re.compile(r"^( *)n(\d+): (\d+) (.*)$")
SOURCE = re.compile(r"\(([\w.+-]+\.(?:cpp|h)):\d+\)")
CORE_LAYERS = ["base", "ui", "api", "outlook", "login", "read", "send", "addin", "com"]


def layers_by_file(root):
    layers = {}
    for top in ("src", "host"):
        for folder, _, files in os.walk(os.path.join(root, top)):
            relative = os.path.relpath(folder, root).split(os.sep)
            if top == "host" or relative[1:3] == ["outlook", "memory"]:
                layer = "stand-in"
            else:
                layer = relative[1] if len(relative) > 1 else None
            for name in files:
                if layer:
                    layers[name] = layer
    return layers


def snapshots(lines):
    """(total heap bytes, tree lines or None, is peak) per snapshot."""
    found = []
    heap = 0
    for i, line in enumerate(lines):
        if line.startswith("mem_heap_B="):
            heap = int(line.split("=", 1)[1])
        elif line.startswith("heap_tree="):
            kind = line.split("=", 1)[1]
            tree = None
            if kind in ("detailed", "peak"):
                end = i + 1
                while end < len(lines) and FRAME.match(lines[end]):
                    end += 1
                tree = lines[i + 1:end]
            found.append((heap, tree, kind == "peak"))
    return found


def split(tree, layers):
    totals = {}
    stack = []  # (depth, layer or None) of the frames above this one
    for line in tree:
        match = FRAME.match(line)
        depth, children, size, text = (len(match.group(1)), int(match.group(2)),
                                       int(match.group(3)), match.group(4))
        while stack and stack[-1][0] >= depth:
            stack.pop()
        # The frame nearest malloc that is the project's names the layer.
        layer = next((known for _, known in stack if known), None)
        if not layer:
            source = SOURCE.search(text)
            layer = layers.get(source.group(1)) if source else None
        stack.append((depth, layer))
        if depth > 0 and children == 0:  # a leaf holds its bytes; inner nodes are sums
            totals[layer or "other"] = totals.get(layer or "other", 0) + size
    return totals


def sides(totals):
    return sum(totals.get(k, 0) for k in CORE_LAYERS), totals.get("stand-in", 0)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    layers = layers_by_file(root)
    lines = open(sys.argv[1], encoding="utf-8", errors="replace").read().splitlines()
    detailed = [(heap, tree, peak) for heap, tree, peak in snapshots(lines) if tree]
    if not detailed:
        sys.exit("no detailed snapshot in " + sys.argv[1])
    peak = next((tree for _, tree, is_peak in detailed if is_peak), None)
    if peak is None:
        peak = max(detailed, key=lambda s: s[0])[1]
    totals = split(peak, layers)
    for name in sorted(totals, key=lambda k: -totals[k]):
        print(f"{name} {totals[name]}")
    core, stand = sides(totals)
    print(f"core {core}")
    print(f"stand-in {stand}")
    each = [sides(split(tree, layers)) for _, tree, _ in detailed]
    print(f"core-max {max(c for c, _ in each)}")
    print(f"stand-in-max {max(s for _, s in each)}")


if __name__ == "__main__":
    main()
