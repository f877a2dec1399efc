// driver: not written yet.
