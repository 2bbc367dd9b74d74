-- The sample book: "The Harbour".

hvkSetGameTitle("The Harbour")

-- Started with -env walkthrough 1, the book reads itself and ends.
local walkthrough = hvkGetEnv("walkthrough") == "1"

local function firstLight()
  hvkSetRowHeight(1)
  hvkNewRow(false)
  -- The gulls wake up one after another; the harbour waits for each of them.
  local woken = 0
  for gull = 1, 3 do
    runAndWait(function()
      for _ = 1, gull * 20 do nextEvent() end
      woken = woken + 1
    end)
  end
  if walkthrough then
    hvkExit()
    nextEvent()
  end
end

local function evening()
  hvkSetRowHeight(1)
end

hvkRegisterChapter("First light", firstLight)
hvkRegisterChapter("Evening", evening)
