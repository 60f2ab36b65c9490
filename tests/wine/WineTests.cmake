# Registers the Windows-side tests (built by the Windows build) to run under Wine.
