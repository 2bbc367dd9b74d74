-- The sample book: "The Harbour".

hvkSetGameTitle("The Harbour")
-- The pictures keep the colours they were drawn with.
hvkSetCompatibilityVersion(2)

-- Started with -env walkthrough 1, the book reads itself and ends.
local walkthrough = hvkGetEnv("walkthrough") == "1"

local harbourFile = hvkPrepareSvg("pictures/harbour.svg")
local boatFile = hvkPrepareSvg("pictures/boat.svg")
local gullFile = hvkPrepareSvg("pictures/gull.svg")

-- Places a node at once, whatever the context's animation settings.
local function place(canvas, node, x, y)
  hvkSaveState()
  hvkSetAnimationEnabled(false)
  hvkSetNodePosition(canvas, node, x, y)
  hvkRestoreState()
end

-- Every shape of an SVG file (or the named ones) on a node of its own where the drawing has it.
local function drawInto(file, canvas, parent, scale, only)
  local nodes, paths = {}, {}
  for _, entry in ipairs(hvkListSvgShapeNamesAndGroups(file)) do
    local name = entry[1]
    if not only or only[name] then
      local shape = hvkPrepareSvgShape(file, name)
      local x, y, w, h = hvkSvgShapeInfo(shape)
      local node = hvkCreateChildNode(canvas, parent)
      place(canvas, node, x * scale, y * scale)
      paths[name] = hvkSvgInsertShape(shape, canvas, node, w * scale, h * scale)
      nodes[name] = node
    end
  end
  return nodes, paths
end

-- A canvas from `left` to `right` holding an SVG file's drawing.
local function showPicture(file, left, right, selector, layer)
  local width, height = hvkSvgSize(file)
  local canvas, root = hvkNewCanvas(left, right, width / height, selector or 1, layer or 0)
  local nodes, paths = drawInto(file, canvas, root, (right - left) / width)
  return canvas, root, nodes, paths
end

-- A paragraph on a canvas of its own, across the middle of the page.
local function showText(text, alignment, colour)
  local id, height = hvkCreateParagraph(text, 5, alignment or "left")
  local canvas, root = hvkNewCanvas(0.5, 5.5, 5 / height, 1, 0)
  local line = hvkShowParagraph(canvas, root, id, 5, height)
  hvkSaveState()
  hvkSetAnimationDuration(0.8)
  hvkSetParagraphColour(canvas, root, line, colour or "f4ecdcff")
  hvkRestoreState()
  hvkNewRow(false)
  return canvas
end

-- A gull that flaps between its two drawings for as long as the chapter runs.
local function flap(canvas, path, x, y, width, height)
  local up = hvkPrepareSvgShape(gullFile, "gull-up")
  local down = hvkPrepareSvgShape(gullFile, "gull-down")
  hvkSetAnimationDuration(0.35)
  while true do
    morphPath(canvas, path, down, x, y, width, height)
    morphPath(canvas, path, up, x, y, width, height)
  end
end

local function firstLight()
  hvkSetBackgroundColour("1c2a3a", 1)
  hvkSetTypeface("DejaVuSerif", 2.5)
  hvkSetRowHeight(0.3)
  hvkNewRow(false)
  showText("The Harbour", "centre")
  local harbour, harbourRoot = showPicture(harbourFile, 0, 6)

  -- The boat comes in from the left over the water.
  local boatWidth, boatHeight = hvkSvgSize(boatFile)
  local boat = hvkCreateChildNode(harbour, harbourRoot)
  drawInto(boatFile, harbour, boat, 1.2 / boatWidth)
  place(harbour, boat, -1.5, 0.25)
  spawn(function()
    hvkSetAnimationDuration(4)
    moveNode(harbour, boat, 3.2, 0.25)
  end)

  -- A gull over the sea.
  local gullWidth = hvkSvgSize(gullFile)
  local gullNodes, gullPaths = drawInto(gullFile, harbour, harbourRoot, 3 / gullWidth, {["gull-up"] = true})
  local gx, gy, gw, gh = hvkSvgShapeInfo(hvkPrepareSvgShape(gullFile, "gull-up"))
  local scale = 3 / gullWidth
  place(harbour, gullNodes["gull-up"], 3.5, 2.6)
  spawn(function() flap(harbour, gullPaths["gull-up"], 0, 0, gw * scale, gh * scale) end)
  hvkNewRow(false)

  hvkSetTypeface("DejaVuSerif", 1.2)
  showText("``Every morning the boats go out before the gulls are up,'' said the keeper of the light.",
    "justified")

  -- The harbour bell, rising and dying away.
  spawn(function()
    local bell = loadSound("sounds/bell.wav")
    local ringing = hvkPlaySound(bell, false)
    hvkSetAnimationDuration(0.3)
    hvkSetSoundVolume(ringing, 0.8)
    nextEvent()
  end)

  sleep(walkthrough and 1.5 or 4.5)
  if walkthrough then
    hvkExit()
    nextEvent()
  end
  while true do nextEvent() end
end

local function evening()
  hvkSetRowHeight(1)
end

hvkRegisterChapter("First light", firstLight)
hvkRegisterChapter("Evening", evening)
