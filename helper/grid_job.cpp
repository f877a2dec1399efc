// grid_job: not written yet.
