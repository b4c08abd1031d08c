// Device schemes the brx executable registers on Linux.
