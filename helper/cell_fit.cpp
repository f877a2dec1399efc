// cell_fit: not written yet.
