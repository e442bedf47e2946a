// Keeps a library of the build valid while its folder has no sources yet.
