// placeholder until the virtual drive lands
