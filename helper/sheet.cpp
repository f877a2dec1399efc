// sheet: not written yet.
