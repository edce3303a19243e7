// placeholder until the system layer lands
