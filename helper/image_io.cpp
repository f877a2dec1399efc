// image_io: not written yet.
