// effects: not written yet.
