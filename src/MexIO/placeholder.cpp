// I/O layer sources go here.
