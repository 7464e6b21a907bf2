#pragma once
// What the candidate lists and the related choices ask the input line about its composition
// mode: whether a list of a given mode character ('H' Han, 'M' mixed, 'T' Tai-lo) wants Han
// words and Tai-lo readings.

namespace kov {

class I_ModeStatus {
public:
    // True when the line does not compose Tai-lo alone and the list is not a Tai-lo list.
    virtual bool wantsHant(char listMode) const = 0;
    // True when the line composes Tai-lo alone or the list is not a Han list.
    virtual bool wantsTailo(char listMode) const = 0;

protected:
    ~I_ModeStatus() = default;
};

}  // namespace kov
