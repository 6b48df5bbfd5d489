// Keeps the layer a library until its first unit lands.
