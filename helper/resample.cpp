// resample: not written yet.
