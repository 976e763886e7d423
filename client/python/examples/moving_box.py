#!/usr/bin/env python3
"""A red box sliding to and fro for a few seconds.

Run it while Orvane runs:  python3 moving_box.py [port] [seconds]
(with the package installed: pip install ./client/python)"""

import math
import sys
import time

import orvane


def main(port=orvane.DEFAULT_PORT, seconds=5.0):
    with orvane.Client().connect("127.0.0.1", port) as sim:
        steps = int(seconds * 50)  # 50 steps a second
        for step in range(steps + 1):
            t = step * 0.02
            sim.step(t)
            box = orvane.Shape(1, position=(2 * math.sin(t), 0, 0.5))
            if step == 0:
                box.set("shape_kind", 1).set("colour", (220, 40, 40)).set("scale", (1, 1, 1))
            sim.send(box)
            sim.flush()
            time.sleep(0.02)
    print(f"moving_box: {steps + 1} steps sent")


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else orvane.DEFAULT_PORT,
         float(sys.argv[2]) if len(sys.argv) > 2 else 5.0)
