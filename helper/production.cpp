// production: not written yet.
