// placeholder until drawing lands
