// sheet_geometry: not written yet.
