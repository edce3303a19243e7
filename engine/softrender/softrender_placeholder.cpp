// placeholder until the software rasteriser lands
