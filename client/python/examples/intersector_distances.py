#!/usr/bin/env python3
"""A ball moving up and down under a downward ray: an intersector reports
the distance from the ray's start to the ball at every step.

Run it while Orvane runs:  python3 intersector_distances.py [port] [steps]"""

import math
import sys
import time

import orvane

BALL, RAY = 1, 2


def main(port=orvane.DEFAULT_PORT, steps=100):
    hits = misses = 0
    with orvane.Client().connect("127.0.0.1", port) as sim:
        sim.step(0.0)
        sim.send(orvane.Shape(BALL, shape_kind=2, colour=(40, 160, 220), position=(0, 0, 0)))
        for step in range(steps):
            t = step * 0.02
            sim.step(t)
            height = math.sin(t)
            sim.send(orvane.Shape(BALL, position=(0, 0, height)),
                     orvane.Intersector(RAY, start=(0, 0, 5), end=(0, 0, -5), marker_size=0.05,
                                        display_mode=1))
            sim.flush()
            for reply in sim.wait(0.05):
                if isinstance(reply, orvane.IntersectorResult):
                    if reply.hit:
                        hits += 1
                        # The ray starts at 5; the ball's top is 0.5 above its centre.
                        expected = 4.5 - math.sin(reply.time)
                        print(f"t={reply.time:.2f} distance {reply.distance:.3f} "
                              f"(expected {expected:.3f})", flush=True)
                    else:
                        misses += 1
            time.sleep(0.01)
    print(f"intersector_distances: {hits} hits, {misses} misses", flush=True)
    return hits, misses


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else orvane.DEFAULT_PORT,
         int(sys.argv[2]) if len(sys.argv) > 2 else 100)
