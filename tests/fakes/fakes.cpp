// SPDX-License-Identifier: GPL-3.0-or-later
// Anchor for the fakes library; the fakes themselves are header-only or in their own files.
