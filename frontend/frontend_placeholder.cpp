// placeholder until the frontend lands
