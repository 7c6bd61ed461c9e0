// Instrument layer sources go here.
