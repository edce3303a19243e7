// placeholder until the game lands
