#include "entry/model_conversion.hpp"

#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"

namespace bxa {

bool convertModelToText(ModelKind kind, platform::File& model, platform::File& text) {
    switch (kind) {
        case ModelKindR7D: return convertR7dToText(model, text) == ConversionResult::Ok;
        case ModelKindR7P: return convertR7pToText(model, text) == ConversionResult::Ok;
        case ModelKindR7T: return convertR7tToText(model, text) == ConversionResult::Ok;
        default: return true;
    }
}

bool convertTextToModel(ModelKind kind, platform::File& text, platform::File& model) {
    switch (kind) {
        case ModelKindR7D: return convertTextToR7d(text, model) == ConversionResult::Ok;
        case ModelKindR7P: return convertTextToR7p(text, model) == ConversionResult::Ok;
        case ModelKindR7T: return convertTextToR7t(text, model) == ConversionResult::Ok;
        default: return true;
    }
}

}  // namespace bxa
