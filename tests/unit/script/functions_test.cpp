int dummy_functions_test;
