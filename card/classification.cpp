#include "classification.h"

#include "card_layout.h"

namespace ostrel::card {

CardClass ClassifyCard(const CardMemory& image) {
    if (image[layout::kFormatMarker] != layout::kFormatMarkerValue) {
        return CardClass::NotFormatted;
    }
    if (image[layout::kApplicationCode] != layout::kOwnApplication) {
        return CardClass::ForeignApplication;
    }
    return CardClass::Valid;
}

std::string ClassificationText(CardClass cardClass) {
    switch (cardClass) {
    case CardClass::NotFormatted:
        return kTextNotFormatted;
    case CardClass::ForeignApplication:
        return kTextForeignApplication;
    case CardClass::Valid:
        return kTextValid;
    }
    return kTextNotFormatted;
}

} // namespace ostrel::card
