// exif_orientation: not written yet.
