// Placeholder until the locale services land.
