// Only the host of the tests' precompiled header.
