-- The sample book: "The Harbour", a day in three chapters.
--
-- Started with -env walkthrough 1 the book reads itself: it moves its own pointer to everything
-- the reader would click, hover or drag and scrolls itself, from the chapter the book remembers
-- to the plaques at the end; there it chooses the chapter after the one it began with, and ends
-- as that chapter opens. With -env record PATH it also records the harbour of the first chapter
-- to an animated GIF at PATH.

hvkSetGameTitle("The Harbour")

local walkthrough = hvkGetEnv("walkthrough") == "1"
local recordPath = hvkGetEnv("record")
-- "-env quit first-frame" ends the book once its first page is drawn (for timing start-up).
local quitAfterFirstFrame = hvkGetEnv("quit") == "first-frame"

------------------------------------------------------------------------------------------------
-- Colours. The drawings' colours are translated into palette entries as they are prepared, so
-- the same drawing takes the colours of whichever palette a chapter sets before placing it.

local colourMap = {
  ["2f3437"] = "1.1", ["36393b"] = "1.2", ["4a3426"] = "1.3", ["6b5a4b"] = "1.4", ["7a3b2e"] = "1.5",
  ["3f6f86"] = "2.1", ["5d8ea3"] = "2.2", ["9fb3a6"] = "2.3",
  ["b8483a"] = "3.1", ["e8955a"] = "3.2", ["fbe7a1"] = "3.3",
  ["f3d9b1"] = "4.1", ["e9dcc2"] = "4.2", ["f4ecdc"] = "4.3", ["f7f2e8"] = "4.4",
}

-- Rows: 1 inks, 2 water, 3 warm lights, 4 paper and sky, 5 the page behind and its text.
local palettes = {
  day = {
    {"2f3437", "36393b", "4a3426", "6b5a4b", "7a3b2e"},
    {"3f6f86", "5d8ea3", "9fb3a6"},
    {"b8483a", "e8955a", "fbe7a1"},
    {"f3d9b1", "e9dcc2", "f4ecdc", "f7f2e8"},
    {"1c2a3a", "f4ecdc", "fbe7a1"},
  },
  noon = {
    {"2a2f33", "33373a", "57402e", "7d6a58", "8a4536"},
    {"2f7fa0", "6aa9c2", "a9c7b4"},
    {"c95040", "f2a65e", "fff1b0"},
    {"cfe6f2", "efe3c8", "fbf5e6", "ffffff"},
    {"24384d", "fbf5e6", "fff1b0"},
  },
  evening = {
    {"15181c", "1d2024", "2b1f17", "3e352d", "4a231c"},
    {"1f3445", "2c4a5c", "4a5a60"},
    {"8c2f2a", "c4553a", "ffd75e"},
    {"3b3057", "544866", "c9b99a", "d8cdb4"},
    {"0e141d", "e6dcc6", "ffd75e"},
  },
}

local function usePalette(name)
  hvkSetPalette(palettes[name])
  hvkSetBackgroundColour("5.1", 1)
end

local pictures = {}
for _, name in ipairs({"harbour", "boat", "gull", "buttons", "nets", "town", "sky"}) do
  pictures[name] = hvkPrepareSvg("pictures/" .. name .. ".svg", colourMap)
end

------------------------------------------------------------------------------------------------
-- Page building.

-- Places a node at once, whatever the context's animation settings.
local function place(canvas, node, x, y)
  hvkSaveState()
  hvkSetAnimationEnabled(false)
  hvkSetNodePosition(canvas, node, x, y)
  hvkRestoreState()
end

-- The shapes of a drawing (all, or the named ones), each on a node of its own where the drawing
-- has it, `scale` script units to the drawing's unit. Gives the nodes and paths by name.
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

-- A canvas from `left` to `right` showing a whole drawing, in the open row.
local function showPicture(file, left, right, selector, layer)
  local width, height = hvkSvgSize(file)
  local canvas, root = hvkNewCanvas(left, right, width / height, selector or 1, layer or 0)
  local nodes, paths = drawInto(file, canvas, root, (right - left) / width)
  return {canvas = canvas, root = root, nodes = nodes, paths = paths, scale = (right - left) / width}
end

-- A paragraph on a canvas of its own, fading in; the row closes after it.
local function showText(text, alignment, left, right, colour)
  left, right = left or 0.5, right or 5.5
  local id, height = hvkCreateParagraph(text, right - left, alignment or "left")
  local canvas, root = hvkNewCanvas(left, right, (right - left) / height, 1, 1)
  local line = hvkShowParagraph(canvas, root, id, right - left, height)
  hvkSaveState()
  hvkSetAnimationDuration(0.8)
  hvkSetParagraphColour(canvas, root, line, colour or "5.2", 1)
  hvkRestoreState()
  hvkNewRow(false)
  return canvas, root, line
end

local function gap(height)
  hvkSetRowHeight(height)
  hvkNewRow(false)
end

-- A round button from the buttons drawing ("onward" or "bell"), labelled for the walkthrough,
-- with an active rect over it. Gives its canvas and rect.
local function showButton(kind, label, left)
  local canvas, root = hvkNewCanvas(left, left + 0.8, 1, 1, 2)
  local scale = 0.8 / 80
  local ring = hvkPrepareSvgShape(pictures.buttons, kind .. "-ring")
  local sign = hvkPrepareSvgShape(pictures.buttons, kind == "onward" and "onward-arrow" or "bell-body")
  local rx, ry = hvkSvgShapeInfo(ring)
  for _, shape in ipairs({ring, sign}) do
    local x, y, w, h = hvkSvgShapeInfo(shape)
    local node = hvkCreateChildNode(canvas, root)
    place(canvas, node, (x - rx) * scale, (y - ry) * scale)
    hvkSvgInsertShape(shape, canvas, node, w * scale, h * scale)
  end
  hvkSetCanvasLabel(canvas, label)
  return canvas, hvkCreateActiveRect(canvas, root, 0, 0, 0.8, 0.8, true)
end

------------------------------------------------------------------------------------------------
-- The reader's hand, or the book's own in the walkthrough.

-- Brings a row to the middle of the view, so that what is in it can be reached.
local function bringIntoView(row)
  if walkthrough then
    hvkSetAnimationDuration(0.4)
    scrollTo(-2, row, 50)
  end
end

-- Waits for a click on a rect; in the walkthrough the book glides to the labelled canvas and
-- clicks it itself.
local function clickOn(rect, label)
  if walkthrough then
    spawn(function()
      hvkSetAnimationDuration(0.25)
      glidePointer(label, 0.5, 0.5)
      click()
    end)
  end
  waitForClick(rect)
end

-- Remembers how far the reader got.
local function reached(chapter)
  hvkSaveString(tostring(chapter))
end

local function onward(next)
  reached(next)
  hvkChooseChapter(next)
  nextEvent()
end

-- The chapter this run began with, and the one chosen from the plaques at the end.
local firstChapter, chosenAtTheEnd

-- Called as each chapter opens; the walkthrough ends once it has opened the chapter it chose.
local function opening()
  local chapter = hvkCurrentChapterInfo()
  firstChapter = firstChapter or chapter
  if walkthrough and chapter == chosenAtTheEnd then
    hvkExit()
    nextEvent()
  end
end

------------------------------------------------------------------------------------------------
-- Chapter 1: first light. Rows, a scroll-linked sun, a boat sailing in, a flapping gull, a
-- sticky lighthouse whose beam turns as it slides, paragraphs in every alignment, and the bell.

local function firstLight()
  opening()
  usePalette("day")
  hvkSetTypeface("DejaVuSerif", 3)
  gap(0.3)
  showText("The Harbour", "centre")
  hvkSetTypeface("DejaVuSerif-Italic", 1.4)
  showText("A day in three chapters", "centre")
  gap(0.2)

  local harbour = showPicture(pictures.harbour, 0, 6)
  local harbourRow = hvkCurrentRowIndex()
  hvkSetCanvasLabel(harbour.canvas, "harbour")
  if recordPath ~= "" then hvkRecordCanvas(harbour.canvas, recordPath, false) end

  -- The sun rises as the page goes up the view, and stays up once it is up.
  local sun = harbour.nodes["sun"]
  local sunX, sunY = hvkGetNodeProps(harbour.canvas, sun)
  place(harbour.canvas, sun, sunX, sunY - 0.9)
  spawn(function()
    hvkSetAnimationScrollLimits(0, harbourRow + 1, 0, 0, 0)
    moveNode(harbour.canvas, sun, sunX, sunY)
  end)

  -- The boat sails in from the left.
  local boatWidth = hvkSvgSize(pictures.boat)
  local boat = hvkCreateChildNode(harbour.canvas, harbour.root)
  drawInto(pictures.boat, harbour.canvas, boat, 1.2 / boatWidth)
  place(harbour.canvas, boat, -1.5, 0.25)
  spawn(function()
    hvkSetAnimationDuration(4)
    moveNode(harbour.canvas, boat, 3.4, 0.25)
    if recordPath ~= "" then hvkStopRecording() end
  end)

  -- A gull over the sea, flapping between its two drawings; its group is blessed, so it goes
  -- on flapping while other groups have the stage.
  local gullScale = 1.2 / 80
  local gullNodes, gullPaths = drawInto(pictures.gull, harbour.canvas, harbour.root, gullScale, {["gull-up"] = true})
  local up = hvkPrepareSvgShape(pictures.gull, "gull-up")
  local down = hvkPrepareSvgShape(pictures.gull, "gull-down")
  local _, _, gw, gh = hvkSvgShapeInfo(up)
  place(harbour.canvas, gullNodes["gull-up"], 3.6, 2.6)
  local _, gullGroup = hvkNewContext(1, 0, function()
    hvkSetAnimationDuration(0.35)
    while true do
      morphPath(harbour.canvas, gullPaths["gull-up"], down, 0, 0, gw * gullScale, gh * gullScale)
      morphPath(harbour.canvas, gullPaths["gull-up"], up, 0, 0, gw * gullScale, gh * gullScale)
    end
  end)
  hvkBlessGroup(gullGroup)
  hvkNewRow(false)

  hvkSetTypeface("DejaVuSerif", 1.2)
  gap(0.2)
  showText("``Every morning the boats go out before the gulls are up,'' said the keeper of the light. "
    .. "``And every morning the gulls pretend they were up first.''", "justified")
  gap(0.2)

  -- The lighthouse keeps the reader company for three rows, its beam turning as it slides.
  local sticky, stickyRoot = hvkNewCanvas(0, 2, 1, 2, 0)
  hvkSetCanvasSlideDistance(sticky, 3)
  local tower = hvkCreateChildNode(sticky, stickyRoot)
  drawInto(pictures.harbour, sticky, tower, 0.0065, {tower = true, stripe = true, gallery = true,
    ["lamp-room"] = true, cap = true})
  place(sticky, tower, 0.2, -0.8)
  local beam = hvkCreateChildNode(sticky, stickyRoot)
  hvkSvgInsertShape(hvkPrepareSvgShape(pictures.sky, "beam"), sticky, beam, 0.9, 0.27)
  hvkSetNodeCentre(sticky, beam, 0, 0.135)
  place(sticky, beam, 1.0, 1.17)
  hvkSaveState()
  hvkSetAnimationEnabled(false)
  hvkSetNodeRotation(sticky, beam, 0.5)
  hvkRestoreState()
  spawn(function()
    hvkSetAnimationSlidingBlock(sticky, 3)
    turnNode(sticky, beam, -0.5)
  end)
  showText("The light turns all night and rests at dawn.", "right", 2.2, 5.8)
  gap(0.6)
  showText("Its keeper climbs the stair at six and sets the lamp to sleep.", "left", 2.2, 5.8)
  gap(0.6)
  showText("Then the bell rings for the boats.", "centre", 2.2, 5.8)
  gap(0.4)

  -- The bell: click it to ring it.
  local _, bellRect = showButton("bell", "bell", 2.6)
  local bellRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  gap(0.3)
  if quitAfterFirstFrame then
    hvkExit()
    nextEvent()
  end
  -- The walkthrough watches the boat come in before it reads on.
  if walkthrough then sleep(4.2) end
  bringIntoView(bellRow)
  clickOn(bellRect, "bell")
  local bell = loadSound("sounds/bell.wav")
  local ringing = hvkPlaySound(bell, false)
  hvkSetAnimationDuration(0.3)
  hvkSetSoundVolume(ringing, 0.8)
  nextEvent() -- the bell has rung out and the fade has ended

  local _, onwardRect = showButton("onward", "onward-1", 2.6)
  local onwardRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  gap(0.5)
  bringIntoView(onwardRow)
  clickOn(onwardRect, "onward-1")
  onward(1)
end

------------------------------------------------------------------------------------------------
-- Chapter 2: midday at the quay. A crate that shows a fish while the pointer is over it, a boat
-- the reader drags along the quay (a drag catcher keeps the page still), a cloud and a line of
-- text linked to the scroll, and Escape to put the net away.

local function midday()
  opening()
  usePalette("noon")
  hvkSetTypeface("DejaVuSerif", 2.2)
  gap(0.3)
  showText("Midday at the quay", "centre")
  hvkSetTypeface("DejaVuSerif", 1.2)

  -- The cloud drifts across as the page scrolls, back and forth with it.
  local sky, skyRoot = hvkNewCanvas(0, 6, 6, 1, 0)
  local cloud = hvkCreateChildNode(sky, skyRoot)
  drawInto(pictures.sky, sky, cloud, 1 / 100, {cloud = true})
  local skyRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  spawn(function()
    hvkSetAnimationScrollLimits(math.max(skyRow - 1, 0), skyRow + 4, 0, 0, 1)
    moveNode(sky, cloud, 4.2, 0)
  end)

  local quay = showPicture(pictures.nets, 0, 6)
  local quayRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  hvkSetCanvasLabel(quay.canvas, "quay")
  hvkSetNodeEnabled(quay.canvas, quay.nodes["fish"], false)
  hvkSetNodeEnabled(quay.canvas, quay.nodes["fish-eye"], false)
  local s = quay.scale
  local crateRect = hvkCreateActiveRect(quay.canvas, quay.root, 380 * s, 80 * s, 120 * s, 70 * s, false)

  gap(0.2)
  -- This line rises into view, holds while it is in the middle, and fades out past it.
  local lineCanvas, lineRoot, lineIndex = showText("Look under the crate: the catch is in.", "centre")
  local lineRow = hvkCurrentRowIndex() - 1
  spawn(function()
    hvkSetAnimationScrollLimits(lineRow, lineRow + 1, 0.4, 0.4, 2)
    colourParagraph(lineCanvas, lineRoot, lineIndex, "5.3", 1)
  end)
  gap(0.3)

  -- Hovering over the crate lifts it and shows the fish.
  bringIntoView(quayRow)
  if walkthrough then
    spawn(function() hvkSetAnimationDuration(0.25) glidePointer("quay", 440 / 600, 120 / 300) end)
  end
  waitForHover(crateRect)
  hvkSetNodeEnabled(quay.canvas, quay.nodes["fish"], true)
  hvkSetNodeEnabled(quay.canvas, quay.nodes["fish-eye"], true)
  hvkSetAnimationDuration(0.4)
  fillPath(quay.canvas, quay.paths["crate"], "1.4", 1)
  if walkthrough then
    spawn(function() hvkSetAnimationDuration(0.25) glidePointer("quay", 0.1, 0.9) end)
  end
  waitForLeave(crateRect, false)
  fillPath(quay.canvas, quay.paths["crate"], "1.5", 1)

  -- Drag the boat along the water to the end of the quay.
  showText("Bring the boat in along the quay.", "left")
  gap(0.15)
  local water, waterRoot = hvkNewCanvas(0, 6, 6, 1, 0)
  local waterRow = hvkCurrentRowIndex()
  hvkSetCanvasLabel(water, "water")
  drawInto(pictures.harbour, water, waterRoot, 0.01, {sea = true, ["wave-near"] = true})
  local boatWidth = hvkSvgSize(pictures.boat)
  local boat = hvkCreateChildNode(water, waterRoot)
  drawInto(pictures.boat, water, boat, 0.9 / boatWidth)
  place(water, boat, 0.2, 0.05)
  local catcher = hvkCreateDragCatcher(water, waterRoot, 0, 0, 6, 1)
  hvkSetDragCatcherEnabled(catcher, true, false)
  hvkNewRow(false)
  gap(0.4)
  bringIntoView(waterRow)
  if walkthrough then
    spawn(function()
      hvkSetAnimationDuration(0.25)
      glidePointer("water", 0.12, 0.5)
      hvkSynthesizeMouse(true)
      hvkSetAnimationDuration(1.2)
      glidePointer("water", 0.9, 0.5)
      hvkSynthesizeMouse(false)
    end)
  end
  -- The rect sits on the canvas's root, which stays still, over where the boat is when a drag
  -- begins; each step's offset moves the boat by as much.
  local x = 0.2
  while x < 4.5 do
    local boatRect = hvkCreateActiveRect(water, waterRoot, x, 0.05, 0.9, 0.9, true)
    repeat
      local dx, _, dragging = waitForDrag(boatRect)
      x = math.min(x + dx, 5)
      place(water, boat, x, 0.05)
    until not dragging
  end

  -- Escape puts the net away (the walkthrough has no key to press, so it moves on).
  showText("Press Escape to put the net away.", "left")
  if not walkthrough then waitForKey(0) end
  hvkSetNodeEnabled(quay.canvas, quay.nodes["net"], false)

  local _, onwardRect = showButton("onward", "onward-2", 2.6)
  local onwardRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  gap(0.5)
  bringIntoView(onwardRow)
  clickOn(onwardRect, "onward-2")
  onward(2)
end

------------------------------------------------------------------------------------------------
-- Chapter 3: evening. The same harbour in the evening palette, the town's windows lighting one
-- after another (a group of contexts, each waiting for the one before), and the choice of where
-- to read again from.

local function evening()
  opening()
  usePalette("evening")
  hvkSetTypeface("DejaVuSerif", 2.2)
  gap(0.3)
  showText("Evening", "centre")
  hvkSetTypeface("DejaVuSerif", 1.2)
  local harbour = showPicture(pictures.harbour, 0, 6)
  hvkSetCanvasLabel(harbour.canvas, "harbour")
  hvkNewRow(false)
  local town = showPicture(pictures.town, 0, 6)
  local townRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  -- Below the town: this row comes into view as the town's foot does.
  gap(0.3)
  bringIntoView(townRow)

  -- The windows light one by one once the whole town is in view. They run as a group of their
  -- own, pushed on top, so the chapter itself waits until the last window has lit and taken the
  -- group off again.
  local chapterContext = hvkCurrentContext()
  local lamps, group = {}, nil
  for i = 1, 5 do
    local function light()
      if i == 1 then waitForRow(townRow + 1) else waitForSignal() end
      hvkSetAnimationDuration(0.3)
      fillPath(town.canvas, town.paths["window-" .. i], "3.3", 1)
      if i < 5 then
        hvkSignalContext(lamps[i + 1])
      else
        hvkPopContextGroup()
        hvkSignalContext(chapterContext)
      end
    end
    if i == 1 then
      lamps[i], group = hvkNewContext(1, 0, light)
    else
      lamps[i] = hvkNewContext(2, group, light)
    end
  end
  hvkPushContextGroup(group)
  waitForSignal()

  showText("The lamps are lit. Where would you read again from?", "centre")
  gap(0.25)

  -- One plaque per chapter.
  local plaqueShape = hvkPrepareSvgShape(pictures.buttons, "plaque")
  local _, _, pw, ph = hvkSvgShapeInfo(plaqueShape)
  local plaques = {}
  for i, name in ipairs(hvkListChapterNames()) do
    local left = 0.3 + (i - 1) * 1.9
    local canvas, root = hvkNewCanvas(left, left + 1.7, pw / ph, 1, 0)
    hvkSvgInsertShape(plaqueShape, canvas, root, 1.7, 1.7 * ph / pw)
    local id, height = hvkCreateParagraph(name, 1.5, "centre")
    local text = hvkCreateChildNode(canvas, root)
    place(canvas, text, 0.1, (1.7 * ph / pw - height) / 2)
    hvkSetParagraphColour(canvas, text, hvkShowParagraph(canvas, text, id, 1.5, height), "5.2", 1)
    hvkSetCanvasLabel(canvas, "plaque-" .. i)
    plaques[i] = hvkCreateActiveRect(canvas, root, 0, 0, 1.7, 1.7 * ph / pw, true)
  end
  local plaqueRow = hvkCurrentRowIndex()
  hvkNewRow(false)
  gap(0.4)
  -- The day is read: a reader who stops here starts from the beginning next time.
  reached(0)

  bringIntoView(plaqueRow)
  -- The first plaque clicked chooses its chapter, which the book remembers.
  local me = hvkCurrentContext()
  local chosen
  for i, rect in ipairs(plaques) do
    spawn(function()
      waitForClick(rect)
      if not chosen then
        chosen = i
        hvkSignalContext(me)
      end
    end)
  end
  if walkthrough then
    -- The harbour, views above, cannot be reached from the plaques.
    hvkMoveMouse("harbour", 0.5, 0.5, true)
    nextEvent()
    local plaque = (firstChapter + 1) % #plaques + 1
    spawn(function()
      hvkSetAnimationDuration(0.25)
      glidePointer("plaque-" .. plaque, 0.5, 0.5)
      click()
    end)
  end
  waitForSignal()
  chosenAtTheEnd = chosen - 1
  onward(chosenAtTheEnd)
end

hvkRegisterChapter("First light", firstLight)
hvkRegisterChapter("Midday", midday)
hvkRegisterChapter("Evening", evening)

-- A reader who stopped part of the way, or chose a chapter at the end, starts there (not when
-- timing the first chapter's start, which must not depend on an earlier run).
local saved = tonumber(hvkLoadString() or "")
if not quitAfterFirstFrame and saved and saved >= 0 and saved < #hvkListChapterNames() then
  hvkChooseChapter(saved)
end
