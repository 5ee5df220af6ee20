// Anchor for the fakes library; the fakes themselves are header-only or in their own files.
