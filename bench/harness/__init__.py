"""The parts of bench/run: the headless session, inputs, benchmarks and report."""
