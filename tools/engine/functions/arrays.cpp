// Arrays: their size, their items, and new arrays made from them with an
// item added, inserted, replaced or deleted, at any depth. An array is never
// changed in place: each of these gives a new one.
#include "tools/engine/functions/families.h"

#include <algorithm>
#include <functional>

namespace avs {

namespace {

const Array& ArrayArgument(const Call& call, std::size_t i) {
  if (!call.args[i].isArray()) call.Fail(std::string("needs an array, not ") + call.args[i].typeName());
  return call.args[i].asArray();
}

// The position an int index names among `size` items; `end` admits the
// position after the last item (where an insertion appends).
std::size_t Position(const Call& call, const Value& index, std::size_t size, bool end) {
  const int64_t i = index.asInt();
  if (i < 0 || static_cast<uint64_t>(i) > size || (!end && static_cast<uint64_t>(i) == size))
    call.Fail("the index " + std::to_string(i) + " is outside the array of " + std::to_string(size) +
              (size == 1 ? " value" : " values"));
  return static_cast<std::size_t>(i);
}

// A copy of `array` in which the items of the array at path[0..depth) are
// changed by `change`: each array on the way is copied, the rest shared.
Value Changed(const Call& call, const Value& array, const std::vector<Value>& path, std::size_t depth,
              const std::function<void(std::vector<Value>&)>& change) {
  if (!array.isArray()) call.Fail(std::string("only an array can be indexed, not ") + array.typeName());
  std::vector<Value> items = array.asArray().items;
  if (depth == 0) {
    change(items);
  } else {
    Value& inner = items[Position(call, path[0], items.size(), false)];
    inner = Changed(call, inner, std::vector<Value>(path.begin() + 1, path.end()), depth - 1, change);
  }
  return call.MakeArray(std::move(items));
}

Value ArraySize(Call& call) { return Value(static_cast<int64_t>(ArrayArgument(call, 0).items.size())); }

Value ArrayGet(Call& call) {
  Value item = call.args[0];
  for (const Value& index : call.rest) {
    std::string problem;
    const Value* found = ArrayItem(item, index, problem);
    if (!found) call.Fail(problem);
    Value copy = *found;
    item = std::move(copy);
  }
  return item;
}

// ArrayAdd(array, value, index...) appends to the array the indexes lead to.
Value ArrayAdd(Call& call) {
  ArrayArgument(call, 0);
  const Value& value = call.args[1];
  return Changed(call, call.args[0], call.rest, call.rest.size(),
                 [&](std::vector<Value>& items) { items.push_back(value); });
}

// ArrayIns(array, value, index...), ArraySet and ArrayDel: the last index is
// the position in the array the others lead to.
Value ArrayIns(Call& call) {
  ArrayArgument(call, 0);
  const Value& value = call.args[1];
  return Changed(call, call.args[0], call.rest, call.rest.size() - 1, [&](std::vector<Value>& items) {
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(Position(call, call.rest.back(), items.size(), true)),
                 value);
  });
}

Value ArraySet(Call& call) {
  ArrayArgument(call, 0);
  const Value& value = call.args[1];
  return Changed(call, call.args[0], call.rest, call.rest.size() - 1, [&](std::vector<Value>& items) {
    items[Position(call, call.rest.back(), items.size(), false)] = value;
  });
}

Value ArrayDel(Call& call) {
  ArrayArgument(call, 0);
  return Changed(call, call.args[0], call.rest, call.rest.size() - 1, [&](std::vector<Value>& items) {
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(Position(call, call.rest.back(), items.size(), false)));
  });
}

// ArraySort(array): a new array of the same bools, numbers or strings in
// ascending order (false before true; strings ignoring letter case, as the
// language compares them); equal items keep their order.
Value ArraySort(Call& call) {
  std::vector<Value> items = ArrayArgument(call, 0).items;
  if (items.empty()) return call.args[0];
  const bool bools = items[0].isBool(), numbers = items[0].isNumber(), strings = items[0].isString();
  if (!bools && !numbers && !strings)
    call.Fail(std::string("sorts bools, numbers or strings, not ") + items[0].typeName());
  for (const Value& item : items)
    if ((bools && !item.isBool()) || (numbers && !item.isNumber()) || (strings && !item.isString()))
      call.Fail(std::string("cannot sort ") + items[0].typeName() + " and " + item.typeName() + " together");
  std::stable_sort(items.begin(), items.end(), [&](const Value& a, const Value& b) {
    if (bools) return !a.asBool() && b.asBool();
    if (numbers) {
      if (a.isInt() && b.isInt()) return a.asInt() < b.asInt();
      return a.asFloat() < b.asFloat();
    }
    return Lower(a.asString()) < Lower(b.asString());
  });
  return call.MakeArray(std::move(items));
}

}  // namespace

void RegisterArrayFunctions(FunctionTable& table) {
  table["isarray"] = {"value:.", [](Call& call) -> Value { return Value(call.args[0].isArray()); }};
  table["arraysize"] = {"array:.", ArraySize};
  table["arrayget"] = {"array:. indexes:.+", ArrayGet};
  table["arrayadd"] = {"array:. value:. indexes:i*", ArrayAdd};
  table["arrayins"] = {"array:. value:. indexes:i+", ArrayIns};
  table["arrayset"] = {"array:. value:. indexes:i+", ArraySet};
  table["arraydel"] = {"array:. indexes:i+", ArrayDel};
  table["arraysort"] = {"array:.", ArraySort};
}

}  // namespace avs
