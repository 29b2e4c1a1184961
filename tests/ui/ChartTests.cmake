# Tests of the chart view.
