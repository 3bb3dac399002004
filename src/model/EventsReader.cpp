#include "model/EventsReader.h"

#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/JsonSupport.h"

namespace vorpix::model::detail {

namespace {

using json_support::Decoder;
using Json = json_support::Json;

constexpr const char* kDocument = "events.json";

// One scalar JSON value as the parser hands it over.
struct Scalar {
    enum class Kind { null, boolean, integer, unsigned_, floating, string } kind = Kind::null;
    bool b = false;
    std::int64_t i = 0;
    std::uint64_t u = 0;
    double d = 0;
    const std::string* s = nullptr;

    // The same value as a tree node, only to let the tree decoder word an
    // error exactly as it would.
    Json toJson() const {
        switch (kind) {
            case Kind::null:
                return Json();
            case Kind::boolean:
                return Json(b);
            case Kind::integer:
                return Json(i);
            case Kind::unsigned_:
                return Json(u);
            case Kind::floating:
                return Json(d);
            case Kind::string:
                return Json(*s);
        }
        return Json();
    }
};

bool asDouble(const Scalar& v, double& out) {
    switch (v.kind) {
        case Scalar::Kind::integer:
            out = static_cast<double>(v.i);
            break;
        case Scalar::Kind::unsigned_:
            out = static_cast<double>(v.u);
            break;
        case Scalar::Kind::floating:
            out = v.d;
            break;
        default:
            return false;
    }
    return std::isfinite(out);
}

bool asInteger(const Scalar& v, std::int64_t& out) {
    switch (v.kind) {
        case Scalar::Kind::integer:
            out = v.i;
            return true;
        case Scalar::Kind::unsigned_:
            if (v.u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
            out = static_cast<std::int64_t>(v.u);
            return true;
        case Scalar::Kind::floating:
            if (!std::isfinite(v.d) || v.d != std::trunc(v.d)) return false;
            if (v.d < -9.2233720368547758e18 || v.d >= 9.2233720368547758e18) return false;
            out = static_cast<std::int64_t>(v.d);
            return true;
        default:
            return false;
    }
}

// The outcome of one key: absent, a value, or the error the tree decoder
// would have reported for it.
struct Slot {
    bool present = false;
    std::optional<Error> error;
    void reset() {
        present = false;
        error.reset();
    }
};

Error containerError(const std::string& path, const char* what) {
    Decoder d(kDocument);
    d.fail(json_code::kWrongType, path, what);
    return d.error();
}

template <class T>
Error scalarError(const Scalar& v, const std::string& path) {
    Decoder d(kDocument);
    T ignored{};
    d.value(v.toJson(), ignored, path);
    return d.error();
}

Error missing(const std::string& path) {
    Decoder d(kDocument);
    d.fail(json_code::kMissingKey, path, "is missing");
    return d.error();
}

// The records inside the arrays: which keys they need and where they go.
enum class Record { sample, click, slice };

struct Field {
    const char* name;
    bool integer;  // the click's button
};

constexpr std::array<Field, 3> kSampleFields{{{"t", false}, {"x", false}, {"y", false}}};
constexpr std::array<Field, 4> kClickFields{{{"t", false}, {"x", false}, {"y", false}, {"button", true}}};
constexpr std::array<Field, 3> kSliceFields{
    {{"sourceStart", false}, {"sourceEnd", false}, {"timeScale", false}}};

std::span<const Field> fieldsOf(Record r) {
    switch (r) {
        case Record::sample:
            return kSampleFields;
        case Record::click:
            return kClickFields;
        case Record::slice:
            return kSliceFields;
    }
    return {};
}

// Top-level keys, in the order their errors are reported.
enum Key {
    pixelWidth,
    pixelHeight,
    scaleFactor,
    duration,
    samples,
    clicks,
    webcamOffset,
    webcamFile,
    extraAudio,
    slices,
    keyCount
};
constexpr std::array<const char*, keyCount> kKeyNames{
    "pixelWidth", "pixelHeight",  "scaleFactor", "duration",        "samples",
    "clicks",     "webcamOffset", "webcamFile",  "extraAudioFiles", "slices"};
constexpr std::array<bool, keyCount> kRequired{true, true,  true,  true,  true,
                                               true, false, false, false, false};

class Reader final : public nlohmann::json_sax<Json> {
public:
    SessionEvents events;
    std::array<Slot, keyCount> slots;
    std::optional<Error> topLevel;  // the document is not an object
    bool syntaxError = false;

    bool null() override { return scalar({}); }
    bool boolean(bool value) override {
        Scalar v;
        v.kind = Scalar::Kind::boolean;
        v.b = value;
        return scalar(v);
    }
    bool number_integer(number_integer_t value) override {
        Scalar v;
        v.kind = Scalar::Kind::integer;
        v.i = value;
        return scalar(v);
    }
    bool number_unsigned(number_unsigned_t value) override {
        Scalar v;
        v.kind = Scalar::Kind::unsigned_;
        v.u = value;
        return scalar(v);
    }
    bool number_float(number_float_t value, const string_t&) override {
        Scalar v;
        v.kind = Scalar::Kind::floating;
        v.d = value;
        return scalar(v);
    }
    bool string(string_t& value) override {
        Scalar v;
        v.kind = Scalar::Kind::string;
        v.s = &value;
        return scalar(v);
    }
    bool binary(binary_t&) override { return scalar({}); }

    bool key(string_t& name) override {
        if (skipDepth_ > 0) return true;
        if (state_ == State::top) {
            currentKey_ = keyCount;
            for (int k = 0; k < keyCount; ++k) {
                if (name == kKeyNames[static_cast<std::size_t>(k)]) currentKey_ = static_cast<Key>(k);
            }
        } else if (state_ == State::record) {
            currentField_ = -1;
            const auto fields = fieldsOf(record_);
            for (std::size_t f = 0; f < fields.size(); ++f) {
                if (name == fields[f].name) currentField_ = static_cast<int>(f);
            }
        }
        return true;
    }

    bool start_object(std::size_t) override {
        if (skipDepth_ > 0) return ++skipDepth_, true;
        switch (state_) {
            case State::start:
                state_ = State::top;
                return true;
            case State::top:
                if (currentKey_ != keyCount) {
                    set(currentKey_, containerError(kKeyNames[currentKey_], wrongContainerText(currentKey_)));
                }
                return skip();
            case State::array:
                if (arrayRecord_) {
                    state_ = State::record;
                    record_ = *arrayRecord_;
                    fieldSet_.fill(false);
                    for (auto& e : fieldErrors_) e.reset();
                    currentField_ = -1;
                    return true;
                }
                elementError(containerError(elementPath(), "must be a string"));
                return skip();
            case State::record:
                return fieldIsContainer();
            case State::done:
                return skip();
        }
        return true;
    }

    bool end_object() override {
        if (skipDepth_ > 0) return --skipDepth_, true;
        if (state_ == State::record) {
            finishRecord();
            state_ = State::array;
            ++index_;
        } else if (state_ == State::top) {
            state_ = State::done;
        }
        return true;
    }

    bool start_array(std::size_t) override {
        if (skipDepth_ > 0) return ++skipDepth_, true;
        switch (state_) {
            case State::start:
                topLevel = containerError("(top level)", "must be an object");
                state_ = State::done;
                return skip();
            case State::top:
                return startTopArray();
            case State::array:
                if (arrayRecord_) {
                    elementError(containerError(elementPath(), "must be an object"));
                } else {
                    elementError(containerError(elementPath(), "must be a string"));
                }
                return skip();
            case State::record:
                return fieldIsContainer();
            case State::done:
                return skip();
        }
        return true;
    }

    bool end_array() override {
        if (skipDepth_ > 0) return --skipDepth_, true;
        if (state_ == State::array) state_ = State::top;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        syntaxError = true;
        return false;
    }

private:
    enum class State { start, top, array, record, done };

    static const char* wrongContainerText(Key k) {
        switch (k) {
            case pixelWidth:
            case pixelHeight:
                return "must be a whole number";
            case scaleFactor:
            case duration:
            case webcamOffset:
                return "must be a number";
            case webcamFile:
                return "must be a string";
            default:
                return "must be an array";
        }
    }

    bool skip() {
        skipDepth_ = 1;
        return true;
    }

    // A record's field holds an array or object: wrong for every field.
    bool fieldIsContainer() {
        if (currentField_ >= 0) {
            const bool integer = fieldsOf(record_)[static_cast<std::size_t>(currentField_)].integer;
            fieldError(containerError(fieldPath(), integer ? "must be a whole number" : "must be a number"));
        }
        return skip();
    }

    void set(Key k, std::optional<Error> error) {
        // A key given twice counts as given once, with its last value.
        slots[k].present = true;
        slots[k].error = std::move(error);
    }

    bool startTopArray() {
        const Key k = currentKey_;
        arrayRecord_.reset();
        switch (k) {
            case samples:
                events.samples.clear();
                arrayRecord_ = Record::sample;
                break;
            case clicks:
                events.clicks.clear();
                arrayRecord_ = Record::click;
                break;
            case slices:
                events.slices.emplace();
                arrayRecord_ = Record::slice;
                break;
            case extraAudio:
                events.extraAudioFiles.emplace();
                break;
            case keyCount:
                return skip();
            default:
                set(k, containerError(kKeyNames[k], wrongContainerText(k)));
                return skip();
        }
        set(k, std::nullopt);
        arrayKey_ = k;
        index_ = 0;
        state_ = State::array;
        return true;
    }

    std::string elementPath() const {
        return std::string(kKeyNames[arrayKey_]) + "[" + std::to_string(index_) + "]";
    }
    std::string fieldPath() const {
        return elementPath() + "." + fieldsOf(record_)[static_cast<std::size_t>(currentField_)].name;
    }

    void elementError(Error e) {
        if (!slots[arrayKey_].error) slots[arrayKey_].error = std::move(e);
    }

    void fieldError(Error e) {
        fieldSet_[static_cast<std::size_t>(currentField_)] = true;
        fieldErrors_[static_cast<std::size_t>(currentField_)] = std::move(e);
    }

    bool scalar(const Scalar& v) {
        if (skipDepth_ > 0) return true;
        switch (state_) {
            case State::start:
                topLevel = containerError("(top level)", "must be an object");
                state_ = State::done;
                return true;
            case State::top:
                topScalar(v);
                return true;
            case State::array:
                arrayScalar(v);
                return true;
            case State::record:
                recordScalar(v);
                return true;
            case State::done:
                return true;
        }
        return true;
    }

    void topScalar(const Scalar& v) {
        const Key k = currentKey_;
        if (k == keyCount) return;
        if (v.kind == Scalar::Kind::null) {
            // Null is as good as absent; optional arrays are absent again.
            slots[k].reset();
            if (k == webcamOffset) events.webcamOffset.reset();
            if (k == webcamFile) events.webcamFile.reset();
            if (k == extraAudio) events.extraAudioFiles.reset();
            if (k == slices) events.slices.reset();
            return;
        }
        const std::string path = kKeyNames[k];
        switch (k) {
            case pixelWidth:
            case pixelHeight: {
                std::int64_t n = 0;
                if (asInteger(v, n) && (n < 1 || n > kMaxPixelSide)) {
                    Decoder d(kDocument);
                    d.fail(json_code::kBadValue, path,
                           "must be 1 ... " + std::to_string(kMaxPixelSide) + " pixels, not " + std::to_string(n));
                    set(k, d.error());
                } else if (asInteger(v, n)) {
                    (k == pixelWidth ? events.pixelWidth : events.pixelHeight) = n;
                    set(k, std::nullopt);
                } else {
                    set(k, scalarError<std::int64_t>(v, path));
                }
                return;
            }
            case scaleFactor:
            case duration:
            case webcamOffset: {
                double d = 0;
                if (asDouble(v, d)) {
                    if (k == scaleFactor) events.scaleFactor = d;
                    if (k == duration) events.duration = d;
                    if (k == webcamOffset) events.webcamOffset = d;
                    set(k, std::nullopt);
                } else {
                    set(k, scalarError<double>(v, path));
                }
                return;
            }
            case webcamFile:
                if (v.kind == Scalar::Kind::string) {
                    events.webcamFile = *v.s;
                    set(k, std::nullopt);
                } else {
                    set(k, scalarError<std::string>(v, path));
                }
                return;
            default:
                set(k, containerError(path, "must be an array"));
                return;
        }
    }

    void arrayScalar(const Scalar& v) {
        if (arrayRecord_) {
            elementError(containerError(elementPath(), "must be an object"));
        } else if (v.kind == Scalar::Kind::string) {
            if (!slots[arrayKey_].error) events.extraAudioFiles->push_back(*v.s);
        } else {
            elementError(scalarError<std::string>(v, elementPath()));
        }
        ++index_;
    }

    void recordScalar(const Scalar& v) {
        if (currentField_ < 0) return;
        const auto f = static_cast<std::size_t>(currentField_);
        const Field& field = fieldsOf(record_)[f];
        if (v.kind == Scalar::Kind::null) {
            fieldSet_[f] = false;  // null is missing for a required key
            fieldErrors_[f].reset();
            return;
        }
        fieldSet_[f] = true;
        fieldErrors_[f].reset();
        if (field.integer) {
            if (!asInteger(v, fieldInts_[f])) fieldErrors_[f] = scalarError<std::int64_t>(v, fieldPath());
        } else if (!asDouble(v, fieldValues_[f])) {
            fieldErrors_[f] = scalarError<double>(v, fieldPath());
        }
    }

    void finishRecord() {
        const auto fields = fieldsOf(record_);
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (!fieldSet_[f]) {
                currentField_ = static_cast<int>(f);
                elementError(missing(fieldPath()));
                return;
            }
            if (fieldErrors_[f]) {
                elementError(*fieldErrors_[f]);
                return;
            }
        }
        if (slots[arrayKey_].error) return;  // an earlier element failed; the array is lost anyway
        switch (record_) {
            case Record::sample:
                events.samples.push_back({fieldValues_[0], fieldValues_[1], fieldValues_[2]});
                break;
            case Record::click:
                events.clicks.push_back({fieldValues_[0], fieldValues_[1], fieldValues_[2], fieldInts_[3]});
                break;
            case Record::slice:
                events.slices->push_back({fieldValues_[0], fieldValues_[1], fieldValues_[2]});
                break;
        }
    }

    State state_ = State::start;
    int skipDepth_ = 0;
    Key currentKey_ = keyCount;
    Key arrayKey_ = keyCount;
    std::optional<Record> arrayRecord_;
    Record record_ = Record::sample;
    std::size_t index_ = 0;
    int currentField_ = -1;
    std::array<bool, 4> fieldSet_{};
    std::array<double, 4> fieldValues_{};
    std::array<std::int64_t, 4> fieldInts_{};
    std::array<std::optional<Error>, 4> fieldErrors_{};
};

}  // namespace

Result<SessionEvents> readEventsStreaming(std::string_view text) {
    if (auto tooDeep = json_support::nestingError(text, kDocument)) return *tooDeep;
    Reader reader;
    const bool parsed = Json::sax_parse(text.begin(), text.end(), &reader);
    if (!parsed || reader.syntaxError) {
        return makeError(domain::kJson, json_code::kSyntax, std::string(kDocument) + ": not valid JSON");
    }
    if (reader.topLevel) return *reader.topLevel;
    for (int k = 0; k < keyCount; ++k) {
        const Slot& slot = reader.slots[static_cast<std::size_t>(k)];
        if (slot.error) return *slot.error;
        if (!slot.present && kRequired[static_cast<std::size_t>(k)])
            return missing(kKeyNames[static_cast<std::size_t>(k)]);
    }
    return std::move(reader.events);
}

}  // namespace vorpix::model::detail
