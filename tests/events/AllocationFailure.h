// Makes the non-throwing forms of operator new fail on demand, so that the
// out-of-memory paths of the code under test can be reached. Only those
// forms are replaced: the test framework's own allocations are untouched.
#pragma once

class CNothrowAllocationFailure {
public:
    // Lets nSucceeding non-throwing allocations pass, then fails every later
    // one until this object goes.
    explicit CNothrowAllocationFailure(int nSucceeding = 0);
    CNothrowAllocationFailure(const CNothrowAllocationFailure&) = delete;
    CNothrowAllocationFailure& operator=(const CNothrowAllocationFailure&) = delete;
    ~CNothrowAllocationFailure();
};
