// Placeholder so a layer with no sources yet still forms a library.
