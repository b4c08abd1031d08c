// placeholder until the posix layer lands
