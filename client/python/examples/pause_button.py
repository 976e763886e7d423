#!/usr/bin/env python3
"""A moving box, its height shown on the head-up display, and a button that
pauses and resumes the motion. Every button event is printed.

Run it while Orvane runs:  python3 pause_button.py [port] [seconds] [presses]
It ends after `seconds`, or once the button was pressed `presses` times."""

import math
import sys
import time

import orvane

VIEW, BOX, VALUE, BUTTON, LABEL = 4001, 1, 2, 3, 4


def main(port=orvane.DEFAULT_PORT, seconds=30.0, presses=0):
    with orvane.Client().connect("127.0.0.1", port) as sim:
        sim.step(0.0)
        # A view over the whole window that shows the head-up display,
        # 1000 HUD units across each direction.
        sim.send(orvane.View(VIEW, camera_control=1, eye=(0, -8, 3), centre=(0, 0, 0.5), up=(0, 0, 1),
                             viewport_origin=(0, 0), viewport_size=(1, 1), own_window=0, screen=0,
                             background=(25, 35, 90), near=0.1, far=100, field_of_view=40,
                             show_hud=1, hud_aspect=3),
                 orvane.Shape(BOX, shape_kind=1, colour=(220, 40, 40)),
                 orvane.Hud(VALUE, element=3, position=(40, 920), rotation=0, file_name="arial.ttf",
                            size=40, text="height", colour=(255, 255, 255)),
                 # A large visible button in the middle of the view, and its label.
                 orvane.Hud(BUTTON, element=8, position=(500, 500), rotation=0, size=(300, 300), value=1),
                 orvane.Hud(LABEL, element=2, position=(440, 490), rotation=0, file_name="arial.ttf",
                            size=40, text="Pause", colour=(255, 255, 255)))
        paused, phase, pressed = False, 0.0, 0
        start = time.monotonic()
        step = 0
        while time.monotonic() - start < seconds:
            step += 1
            t = step * 0.02
            if not paused:
                phase += 0.02
            height = 0.5 + math.sin(phase)
            sim.step(t)
            sim.send(orvane.Shape(BOX, position=(0, 0, height)), orvane.Hud(VALUE, value=height))
            sim.flush()
            for reply in sim.poll():
                if isinstance(reply, orvane.ButtonEvent):
                    print(f"button {reply.object} event {reply.event} at {reply.pointer}", flush=True)
                    if reply.event == orvane.ButtonEvent.PRESSED:
                        pressed += 1
                        paused = not paused
                        sim.send(orvane.Hud(LABEL, text="Run" if paused else "Pause"))
            if presses and pressed >= presses:
                break
            time.sleep(0.02)
    print(f"pause_button: {pressed} presses", flush=True)
    return pressed


if __name__ == "__main__":
    main(int(sys.argv[1]) if len(sys.argv) > 1 else orvane.DEFAULT_PORT,
         float(sys.argv[2]) if len(sys.argv) > 2 else 30.0,
         int(sys.argv[3]) if len(sys.argv) > 3 else 0)
