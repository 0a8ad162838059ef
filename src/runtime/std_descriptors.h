// Standard input, output and error are descriptors 0 to 2 for the whole run. A program
// started with one of them closed would hand that number to the next file it opens (the
// queue manager library's lock file, an =output file) and write its output there.
#pragma once

// Call first thing at start-up. A closed standard input or error is opened on /dev/null;
// a closed standard output is opened on /dev/null for reading only, so that every write
// to it fails and is reported as the write error it is.
void holdStandardDescriptors();
