# Tests of the port component and its worker.
