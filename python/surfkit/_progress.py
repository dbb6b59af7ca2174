"""A progress bar on stderr for the command line's long steps.

The library releases the GIL during its calls, so a small thread can keep the bar moving
while a call runs. The bar is drawn only on a terminal, and only for a step that lasts
longer than a moment; otherwise nothing is printed.
"""

import sys
import threading
import time


class Progress:
    """Steps of one command, shown as ``[#####.....] 2/4 computing normals  1.3 s``."""

    def __init__(self, total_steps, stream=None, enabled=None, delay=0.3):
        self.total = max(1, total_steps)
        self.done = 0
        self.stream = stream if stream is not None else sys.stderr
        if enabled is None:
            enabled = hasattr(self.stream, "isatty") and self.stream.isatty()
        self.enabled = enabled
        self.delay = delay
        self._drawn = False

    def _draw(self, label, elapsed, final=False):
        width = 24
        fraction = (self.done + (1 if final else 0.5)) / self.total
        filled = min(width, int(round(width * fraction)))
        bar = "#" * filled + "." * (width - filled)
        self.stream.write(
            "\r[%s] %d/%d %-28s %6.1f s" % (bar, self.done + 1, self.total, label[:28], elapsed)
        )
        self.stream.flush()
        self._drawn = True

    def step(self, label):
        """Context manager for one step: ``with progress.step("reading"): ...``."""
        return _Step(self, label)

    def close(self):
        if self._drawn:
            self.stream.write("\n")
            self.stream.flush()
            self._drawn = False


class _Step:
    def __init__(self, progress, label):
        self.progress = progress
        self.label = label
        self._stop = threading.Event()
        self._thread = None
        self._start = 0.0

    def _run(self):
        if self._stop.wait(self.progress.delay):
            return
        while not self._stop.wait(0.1):
            self.progress._draw(self.label, time.monotonic() - self._start)

    def __enter__(self):
        self._start = time.monotonic()
        if self.progress.enabled:
            self._thread = threading.Thread(target=self._run, daemon=True)
            self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        if self._thread is not None:
            self._thread.join()
            if self.progress._drawn:
                self.progress._draw(self.label, time.monotonic() - self._start, final=True)
        self.progress.done += 1
        return False
