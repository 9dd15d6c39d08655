// What the language catalog refreshes when another language is loaded: anything showing catalog texts (the
// wizard's pages) registers itself, and the catalog needs to know no more of it.
#pragma once

class ILanguageListener {
public:
    // Takes every text anew from the catalog just loaded.
    virtual void UpdateTexts() = 0;

protected:
    ~ILanguageListener() = default;
};
