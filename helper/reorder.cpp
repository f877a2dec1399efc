// reorder: not written yet.
