// Only the host of the product's precompiled header.
