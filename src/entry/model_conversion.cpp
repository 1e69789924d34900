#include "entry/model_conversion.hpp"

#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"

namespace bxa {

bool convertModelToText(ModelKind kind, const std::string& modelPath, const std::string& textPath) {
    switch (kind) {
        case ModelKindR7D: return convertR7dToText(modelPath, textPath);
        case ModelKindR7P: return convertR7pToText(modelPath, textPath);
        case ModelKindR7T: return convertR7tToText(modelPath, textPath);
        default: return true;
    }
}

bool convertTextToModel(ModelKind kind, const std::string& modelPath, const std::string& textPath) {
    switch (kind) {
        case ModelKindR7D: return convertTextToR7d(modelPath, textPath);
        case ModelKindR7P: return convertTextToR7p(modelPath, textPath);
        case ModelKindR7T: return convertTextToR7t(modelPath, textPath);
        default: return true;
    }
}

}  // namespace bxa
