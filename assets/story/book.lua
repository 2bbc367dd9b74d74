-- The sample book: "The Harbour".

hvkSetGameTitle("The Harbour")
-- The pictures keep the colours they were drawn with.
hvkSetCompatibilityVersion(2)

-- Started with -env walkthrough 1, the book reads itself and ends.
local walkthrough = hvkGetEnv("walkthrough") == "1"

local harbourFile = hvkPrepareSvg("pictures/harbour.svg")
local boatFile = hvkPrepareSvg("pictures/boat.svg")
local gullFile = hvkPrepareSvg("pictures/gull.svg")

-- A canvas from `left` to `right` holding every shape of an SVG file where the drawing has it.
local function showPicture(file, left, right, selector, layer)
  local width, height = hvkSvgSize(file)
  local canvas, root = hvkNewCanvas(left, right, width / height, selector or 1, layer or 0)
  local scale = (right - left) / width
  local nodes = {}
  for _, entry in ipairs(hvkListSvgShapeNamesAndGroups(file)) do
    local shape = hvkPrepareSvgShape(file, entry[1])
    local x, y, w, h = hvkSvgShapeInfo(shape)
    local node = hvkCreateChildNode(canvas, root)
    -- A pivot at minus the corner places the node's origin on the shape's corner.
    hvkSetNodeCentre(canvas, node, -x * scale, -y * scale)
    hvkSvgInsertShape(shape, canvas, node, w * scale, h * scale)
    nodes[entry[1]] = node
  end
  return canvas, nodes
end

-- A paragraph on a canvas of its own, across the middle of the page.
local function showText(text, alignment)
  local id, height = hvkCreateParagraph(text, 5, alignment or "left")
  local canvas, root = hvkNewCanvas(0.5, 5.5, 5 / height, 1, 0)
  hvkShowParagraph(canvas, root, id, 5, height)
  hvkNewRow(false)
  return canvas
end

local function firstLight()
  hvkSetBackgroundColour("1c2a3a", 1)
  hvkSetTypeface("DejaVuSerif", 1)
  hvkSetRowHeight(0.3)
  hvkNewRow(false)
  showText("The Harbour", "centre")
  showPicture(harbourFile, 0, 6)
  hvkNewRow(false)
  hvkSetTypeface("DejaVuSerif", 0.8)
  showText("``Every morning the boats go out before the gulls are up,'' said the keeper of the light.", "justified")
  showPicture(boatFile, 2, 4)
  hvkNewRow(false)
  showPicture(gullFile, 1, 5)
  -- The gulls wake up one after another; the harbour waits for each of them.
  for gull = 1, 3 do
    runAndWait(function()
      for _ = 1, gull * 20 do nextEvent() end
    end)
  end
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
