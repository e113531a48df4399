// Placeholder: the Tester bundle principal class.
