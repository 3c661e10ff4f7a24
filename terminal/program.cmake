# (filled in as this area is built)
