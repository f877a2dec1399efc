// stb_impl: not written yet.
