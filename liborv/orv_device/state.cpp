// Placeholder so the library links before the device layer lands.
