#include "inserted_card.h"

#include "reader/identification.h"
#include "workflow_texts.h"

namespace ostrel::workflows {

InsertedCard ReadInsertedCard(reader::SharedState& state, std::string& failureText) {
    std::int32_t read = 0;
    const int type = reader::IdentifyCard(state, &read);
    if (type == reader::kIdentifyNoAnswer)
        return InsertedCard::NoAnswer;
    if (read < 0) {
        failureText = texts::ReadFailureText(read);
        return InsertedCard::ReadFailed;
    }
    return type == reader::kIdentifyNotOurs ? InsertedCard::NotOurs : InsertedCard::Ours;
}

} // namespace ostrel::workflows
