// The source the test binaries' precompiled headers are made with; it holds nothing.
